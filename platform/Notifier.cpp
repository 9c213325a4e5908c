#include "platform/Notifier.h"

namespace kelvo {

QString Notice::seeAlso() const
{
    return QStringLiteral("See \u201c%1\u201d in Kelvo's user guide:").arg(pageTitle);
}

QString Notice::text() const
{
    return QStringLiteral("%1\n%2 %3").arg(body, seeAlso(), page);
}

} // namespace kelvo
