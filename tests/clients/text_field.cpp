// kelvo-text-field TITLE FILE: a Qt line edit for the desktop tests, in a
// window titled TITLE, that writes its whole text to FILE (UTF-8) at every
// change.

#include <QApplication>
#include <QLineEdit>
#include <QSaveFile>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        qWarning("usage: kelvo-text-field TITLE FILE");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[2]);
    QLineEdit field;
    field.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    field.resize(400, 40);
    field.move(40, 420);
    auto save = [path](const QString& text) {
        // Replaced whole, so a reader never sees half a text.
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(text.toUtf8());
            file.commit();
        }
    };
    QObject::connect(&field, &QLineEdit::textChanged, save);
    save(QString());
    field.show();
    return app.exec();
}
