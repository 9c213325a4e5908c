#include "platform/portal/RestoreTokenFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {

namespace {

// Two short lines; anything much bigger is not ours.
constexpr qint64 MaxSize = 1024;
const QString AppIdKey = QStringLiteral("app-id=");
const QString TokenKey = QStringLiteral("restore-token=");

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isAppId(const QString& text)
{
    static const QRegularExpression id(QStringLiteral("^[A-Za-z0-9_.-]{0,255}$"));
    return id.match(text).hasMatch();
}

// Makes `dir` and any missing folder above it, each 0700.
bool makeFolder(const QString& dir, QString* why)
{
    if (QFileInfo(dir).isDir())
        return true;
    const QString parent = QFileInfo(dir).path();
    if (parent != dir && !makeFolder(parent, why))
        return false;
    if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST) {
        *why = QStringLiteral("the folder %1 cannot be made (%2)").arg(dir, systemError(errno));
        return false;
    }
    return true;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

void RestoreTokenFile::forget() const
{
    ::unlink(QFile::encodeName(path_).constData());
}

QString RestoreTokenFile::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state)) {
        const QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home))
            return {};
        state = home + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/kelvo/remote-desktop-token");
}

bool RestoreTokenFile::isToken(const QString& text)
{
    // Portals up to 1.20 hand out UUIDs; from 1.22, 16 random bytes in
    // base64 with _ for + and / and no padding (22 characters), which is
    // what a D-Bus object path element may hold. The bound leaves room for
    // a longer one while keeping the file small.
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$"));
    static const QRegularExpression element(QStringLiteral("^[A-Za-z0-9_]{1,%1}$").arg(MaxTokenLength));
    return uuid.match(text).hasMatch() || element.match(text).hasMatch();
}

std::optional<RememberedGrant> RestoreTokenFile::read(QString* why) const
{
    why->clear();
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno != ENOENT)
            *why = QStringLiteral("it cannot be read (%1)").arg(systemError(errno));
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        ::close(fd);
    // One byte more than may be there tells a file that is too big.
    const QByteArray bytes = file.isOpen() ? file.read(MaxSize + 1) : QByteArray();
    if (file.error() != QFileDevice::NoError) {
        *why = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
        return std::nullopt;
    }
    if (bytes.isEmpty()) {
        *why = QStringLiteral("it is empty");
        return std::nullopt;
    }
    if (bytes.size() > MaxSize) {
        *why = QStringLiteral("it is larger than %1 bytes").arg(MaxSize);
        return std::nullopt;
    }
    if (!bytes.endsWith('\n')) {
        *why = QStringLiteral("it ends in the middle of a line");
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.left(text.size() - 1).split(u'\n');
    if (lines.size() != 2 || !lines[0].startsWith(AppIdKey) || !lines[1].startsWith(TokenKey)) {
        *why = QStringLiteral("it does not hold the two lines %1... and %2...").arg(AppIdKey, TokenKey);
        return std::nullopt;
    }
    RememberedGrant grant{lines[0].mid(AppIdKey.size()), lines[1].mid(TokenKey.size())};
    if (!isAppId(grant.appId)) {
        *why = QStringLiteral("line 1 holds no application ID");
        return std::nullopt;
    }
    if (!isToken(grant.token)) {
        *why = QStringLiteral("line 2 holds no restore token");
        return std::nullopt;
    }
    return grant;
}

bool RestoreTokenFile::write(const RememberedGrant& grant, QString* why) const
{
    why->clear();
    if (!isAppId(grant.appId) || !isToken(grant.token)) {
        *why = QStringLiteral("the portal gave a restore token of a form no portal hands out");
        return false;
    }
    const QString dir = QFileInfo(path_).path();
    if (!makeFolder(dir, why))
        return false;
    const QByteArray bytes = (AppIdKey + grant.appId + u'\n' + TokenKey + grant.token + u'\n').toUtf8();
    // A fresh file beside the old one, synced, then renamed over it.
    QByteArray temp = QFile::encodeName(path_ + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        *why = QStringLiteral("no file can be made in %1 (%2)").arg(dir, systemError(errno));
        return false;
    }
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written
        || ::rename(temp.constData(), QFile::encodeName(path_).constData()) != 0) {
        *why = QStringLiteral("%1 cannot be written (%2)").arg(path_, systemError(written ? errno : writeError));
        ::unlink(temp.constData());
        return false;
    }
    // The rename itself lasts once the folder is synced.
    const int dirFd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace kelvo
