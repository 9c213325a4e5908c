// PLACEHOLDER: the parser is being written this session.
#include "platform/KeyString.h"
namespace kelvo {
QString KeyStringError::message() const { return {}; }
ParsedKeys parseKeyString(const QString&) { return {}; }
QString formatKeyActions(const std::vector<KeyAction>&) { return {}; }
QString namedKeyName(NamedKey) { return {}; }
}
