#pragma once
// The typed, ordered set of stored property values that one control instance
// is saved into and loaded from.
//
// Entries keep the order they were written in, keys are held in lower case
// and matched without regard to case, and one key may appear more than once
// (the first match is the one read). A value equal to the default it is
// written with is not stored, so a bag holds only what differs.

#include "button/Picture.h"

#include <QFont>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>
#include <variant>
#include <vector>

namespace kelvo {

// A font object shared between its owner and whoever it was handed to.
using FontRef = std::shared_ptr<QFont>;

// A stored Boolean: True is -1, False 0.
struct Boolean {
    qint16 value = 0;
    static Boolean of(bool on) { return {qint16(on ? -1 : 0)}; }
    bool operator==(const Boolean&) const = default;
};

// One stored value; a null PictureRef is "no object".
using PropertyValue = std::variant<Boolean, qint16, qint32, QString, FontRef, PictureRef>;

// The error a property operation fails with.
class PropertyError : public std::runtime_error {
public:
    enum Kind {
        Overflow = 6,      // a number outside the range of its type
        TypeMismatch = 13, // a value of a kind the key's type cannot take
    };
    PropertyError(Kind kind, const QString& key, const QString& message)
        : std::runtime_error(message.toStdString())
        , kind(kind)
        , key(key)
    {
    }
    const Kind kind;
    const QString key; // the property the value was for
};

// True when two values are equal as values: numbers and Booleans compare by
// number (False equals a 16-bit 0), an empty picture equals no picture, and
// fonts and pictures with content compare by identity.
bool sameValue(const PropertyValue& a, const PropertyValue& b);

// The kind of value, as messages name it ("string", "16-bit integer", ...).
QString typeName(const PropertyValue& value);

// Conversions of a stored value to the type its key is read as. Each fails
// with a PropertyError naming `key` when the value cannot be converted.
bool toBoolean(const PropertyValue& value, const QString& key);
qint16 toInt16(const PropertyValue& value, const QString& key);
qint32 toInt32(const PropertyValue& value, const QString& key);
QString toText(const PropertyValue& value, const QString& key);
FontRef toFont(const PropertyValue& value, const QString& key);
PictureRef toPicture(const PropertyValue& value, const QString& key);

// Narrows a 32-bit value to 16 bits, failing with an overflow error that
// names `what` when it does not fit.
qint16 narrow16(qint32 value, const QString& what);

class PropertyBag {
public:
    struct Entry {
        QString key; // lower case
        PropertyValue value;
    };

    // Stores the value under the key unless it equals the default.
    void WriteProperty(const QString& name, const PropertyValue& value,
                       const std::optional<PropertyValue>& defaultValue = std::nullopt);

    // The first stored value of the key, or the default when there is none.
    PropertyValue ReadProperty(const QString& name, const PropertyValue& defaultValue) const;

    // Appends an entry as it stands, default or not: how a stored bag is rebuilt.
    void append(const QString& name, const PropertyValue& value);

    const std::vector<Entry>& entries() const { return entries_; }
    bool isEmpty() const { return entries_.empty(); }

private:
    std::vector<Entry> entries_;
};

} // namespace kelvo
