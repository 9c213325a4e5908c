// The file that keeps the portal's grant: kept private and replaced whole,
// anything that is not a grant refused with its reason, and a writer killed
// at any moment leaving a token that can be read.

#include "platform/portal/RestoreTokenFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvo;

namespace {

const QString TokenA = QStringLiteral("0b9d2a6e-7c41-4f7e-9a55-3c2d1e0f4a21");
// As portals from 1.22 hand them out.
const QString TokenB = QStringLiteral("mZ0dVx3Hk2s_f9QpLr1aWw");

QString readBack(const RestoreTokenFile& file)
{
    QString why;
    const auto grant = file.read(&why);
    return grant ? grant->appId + u' ' + grant->token : QStringLiteral("refused: ") + why;
}

TEST(RestoreTokenFile, KeepsTheGrantPrivateAndReplacesItWhole)
{
    QTemporaryDir dir;
    const RestoreTokenFile file(dir.filePath(QStringLiteral("state/kelvo/remote-desktop-token")));
    QString why;
    EXPECT_FALSE(file.read(&why));
    EXPECT_TRUE(why.isEmpty()) << "no file is nothing remembered, not a fault: " << why.toStdString();

    ASSERT_TRUE(file.write({QStringLiteral("org.kelvo.Kelvo"), TokenA}, &why)) << why.toStdString();
    EXPECT_EQ(readBack(file), QStringLiteral("org.kelvo.Kelvo ") + TokenA);
    struct stat made {};
    ASSERT_EQ(stat(QFile::encodeName(file.path()).constData(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(QFile::encodeName(dir.filePath(QStringLiteral("state/kelvo"))).constData(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0700u);

    ASSERT_TRUE(file.write({QString(), TokenB}, &why)) << why.toStdString();
    EXPECT_EQ(readBack(file), QStringLiteral(" ") + TokenB);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("state/kelvo"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{"remote-desktop-token"}) << "something was left beside the file";

    EXPECT_FALSE(file.write({QStringLiteral("org.kelvo.Kelvo"), QStringLiteral("not-a-uuid")}, &why));
    EXPECT_FALSE(file.write({QStringLiteral("two words"), TokenA}, &why));
    EXPECT_EQ(readBack(file), QStringLiteral(" ") + TokenB) << "a refused grant changed the file";
}

TEST(RestoreTokenFile, RefusesWhatIsNotAGrantSayingWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("remote-desktop-token"));
    const QString whole = QStringLiteral("app-id=org.kelvo.Kelvo\nrestore-token=%1\n").arg(TokenA);
    const struct {
        QString content;
        const char* why;
    } cases[] = {
        {QString(), "it is empty"},
        {whole.left(whole.size() - 5), "it ends in the middle of a line"},
        {whole + QString(1100, u'x') + u'\n', "it is larger than 1024 bytes"},
        {QStringLiteral("restore-token=%1\napp-id=org.kelvo.Kelvo\n").arg(TokenA), "it does not hold the two lines"},
        {whole + whole, "it does not hold the two lines"},
        {QStringLiteral("app-id=org kelvo\nrestore-token=%1\n").arg(TokenA), "line 1 holds no application ID"},
        {QStringLiteral("app-id=org.kelvo.Kelvo\nrestore-token=%1x\n").arg(TokenA), "line 2 holds no restore token"},
        {QStringLiteral("app-id=org.kelvo.Kelvo\nrestore-token=%1/x\n").arg(TokenB), "line 2 holds no restore token"},
        {QStringLiteral("app-id=org.kelvo.Kelvo\nrestore-token=%1\n").arg(QString(129, u'a')),
         "line 2 holds no restore token"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.left(60).toStdString());
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(c.content.toUtf8());
        out.close();
        EXPECT_TRUE(readBack(RestoreTokenFile(path)).startsWith(QStringLiteral("refused: ") + c.why))
            << readBack(RestoreTokenFile(path)).toStdString();
    }
    // Something that cannot be read is said to be so, and is not replaced
    // by force.
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkdir(path));
    EXPECT_TRUE(readBack(RestoreTokenFile(path)).startsWith(u"refused: it cannot be read ("))
        << readBack(RestoreTokenFile(path)).toStdString();
    QString why;
    EXPECT_FALSE(RestoreTokenFile(path).write({QString(), TokenA}, &why));
    EXPECT_TRUE(why.contains(path)) << why.toStdString();
}

TEST(RestoreTokenFile, AWriterKilledAtAnyMomentLeavesOneWholeToken)
{
    QTemporaryDir dir;
    const RestoreTokenFile file(dir.filePath(QStringLiteral("remote-desktop-token")));
    QString why;
    ASSERT_TRUE(file.write({QStringLiteral("org.kelvo.Kelvo"), TokenA}, &why));
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                file.write({QStringLiteral("org.kelvo.Kelvo"), i % 2 ? TokenA : TokenB}, &why);
        }
        usleep(1000 + 1700 * round);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const QString held = readBack(file);
        EXPECT_TRUE(held == QStringLiteral("org.kelvo.Kelvo ") + TokenA
                    || held == QStringLiteral("org.kelvo.Kelvo ") + TokenB)
            << "round " << round << ": " << held.toStdString();
    }
}

} // namespace
