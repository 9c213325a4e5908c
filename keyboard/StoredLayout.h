#pragma once
// A form's stored layout: a text file listing the fonts and pictures its
// controls share, then every control in creation order with its place, its
// tab index, its tag and its stored property entries. The format is
// described at the top of keyboard/frmKelvo.layout.
//
// Reading and writing are exact inverses for a file in the written style:
// parse() then write() gives the same bytes, comments included.

#include "button/FontFace.h"
#include "button/Picture.h"
#include "button/PropertyBag.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>
#include <vector>

namespace kelvo {

// What is wrong with a stored layout, and where: the file, the line (from
// 1) and the key or control the line is about.
class LayoutError : public std::runtime_error {
public:
    LayoutError(const QString& file, int line, const QString& key, const QString& problem);
    const QString file;
    const int line;
    const QString key;
};

// Comment and blank lines above an item, kept to be written back.
using Lead = QStringList;

struct StoredFont {
    Lead lead;
    QString name;  // how entries refer to it: @name
    int line = 0;  // where it is given, or 0 for one added on writing
    FontFace face;
    FontRef font;  // the one object every control given this font shares
};

struct StoredPicture {
    Lead lead;
    QString name;
    int line = 0;
    Picture::Kind kind = Picture::Bitmap;
    QString path;       // a resource or file path
    PictureRef picture; // the one object every control given it shares
};

struct StoredControl {
    enum Kind { Button, Timer };

    Lead lead;
    Kind kind = Button;
    QString name;
    int index = -1; // its index in a control array, or -1 for a single control
    int line = 0;   // where it starts

    // Place and size in twips; the tab index; the host's string.
    qint16 left = 0, top = 0, width = 0, height = 0;
    int tabIndex = -1;
    QString tag;

    // A timer's state: whether it runs, and its period in milliseconds.
    bool enabled = false;
    int interval = 0;

    // A button's stored entries, as its load path reads them.
    PropertyBag bag;

    // Every key given for the control, with its line, in file order.
    std::vector<std::pair<QString, int>> keyLines;

    // "cmdButton(3)" or "cmdExit".
    QString title() const;
    // The line of the first mention of `key` (any case), else the control's.
    int lineOf(const QString& key) const;
};

struct StoredLayout {
    QString file; // named in error messages
    std::vector<StoredFont> fonts;
    std::vector<StoredPicture> pictures;
    std::vector<StoredControl> controls;
    Lead trailer; // comment and blank lines after the last control

    // Reads a layout; pictures come through `load` (a path and a kind to a
    // picture, or null when it cannot be read). Throws LayoutError on the
    // first thing wrong, so a layout is taken whole or not at all.
    using PictureLoader = std::function<PictureRef(const QString&, Picture::Kind)>;
    static StoredLayout parse(const QByteArray& text, const QString& file,
                              const PictureLoader& load = loadPicture);

    // The text of the layout. Fonts and pictures that entries refer to but
    // the tables lack are added to them under new names.
    QByteArray write() const;

    // The control of that name and index, or null.
    const StoredControl* find(const QString& name, int index = -1) const;

    // Throws a LayoutError about `key` of `control` (at the key's line).
    [[noreturn]] void fail(const StoredControl& control, const QString& key, const QString& problem) const;
};

// Reads a layout from a resource or file path; LayoutError when it cannot
// be read or is wrong.
StoredLayout readLayout(const QString& path);

} // namespace kelvo
