// The portal sender against the tests' stand-in portal (tests/desktop/
// fake_portal.py) on a private session bus: the requests and their options,
// keysyms in order with the modifiers around them, a key the layout lacks
// refused whole, and refusal, absence and loss of the portal falling back to
// the other sender with one message; a grant remembered, as the registered
// application, where the portal can remember.

#include "platform/fake/FakeKeySender.h"
#include "platform/portal/PortalKeySender.h"
#include "platform/xkb/KeymapIndex.h"

#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kelvo;

namespace {

class PortalSender : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        // A bus that starts no service of its own: the machine's real portal
        // stays out of it.
        QFile config(dir_.filePath(QStringLiteral("bus.conf")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                     "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        config.close();
        bus_.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
        ASSERT_TRUE(bus_.waitForReadyRead(5000)) << "dbus-daemon did not start";
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const xkb_rule_names us{"evdev", "pc105", "us", "", ""};
        xkb_keymap* keymap = xkb_keymap_new_from_names(context, &us, XKB_KEYMAP_COMPILE_NO_FLAGS);
        index_ = std::make_unique<KeymapIndex>(keymap);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }

    void TearDown() override
    {
        sender_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal-test"));
        for (QProcess* p : {&portal_, &bus_}) {
            p->terminate();
            p->waitForFinished(3000);
        }
    }

    // Starts the stand-in portal with `args`, then the sender asking it.
    void start(const QStringList& args, const RemoteDesktopPortal::Remembering& remembering = {})
    {
        if (!args.contains(QStringLiteral("--absent"))) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
            portal_.setProcessEnvironment(env);
            portal_.start(QStringLiteral("/usr/bin/python3"),
                          QStringList{QStringLiteral(KELVO_SOURCE_DIR "/tests/desktop/fake_portal.py"),
                                      QStringLiteral("--log"), dir_.filePath(QStringLiteral("log"))}
                              + args);
            ASSERT_TRUE(portal_.waitForReadyRead(10000)) << portal_.readAllStandardError().toStdString();
        }
        auto fallback = std::make_unique<FakeKeySender>();
        fallback_ = fallback.get();
        sender_ = std::make_unique<PortalKeySender>(std::move(fallback), [this] { return index_.get(); }, false);
        sender_->ask(QDBusConnection::connectToBus(address_, QStringLiteral("portal-test")), QStringLiteral("x11:2a"),
                     [this](bool granted, const QString& why, RemoteDesktopPortal::Failure failure) {
                         told_ << (granted ? "granted" : why);
                         failures_.push_back(failure);
                     },
                     remembering,
                     [this](RemoteDesktopPortal::NoteKind, const QString& text, const QString&) { notes_ << text; });
        ASSERT_TRUE(QTest::qWaitFor([this] { return !told_.isEmpty(); }, 10000)) << "no answer";
    }

    // Every call the portal logged, as "Method" or "Method key=value".
    QList<QJsonObject> calls()
    {
        QFile file(dir_.filePath(QStringLiteral("log")));
        QList<QJsonObject> out;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    out << QJsonDocument::fromJson(line).object();
        return out;
    }

    // The keysym events the portal got, as "+65505 +97 -97 -65505".
    std::string keysyms()
    {
        QStringList out;
        for (const QJsonObject& call : calls())
            if (call[u"method"].toString() == u"NotifyKeyboardKeysym")
                out << QStringLiteral("%1%2").arg(QChar(call[u"state"].toInt() ? u'+' : u'-')).arg(call[u"keysym"].toInt());
        return out.join(u' ').toStdString();
    }

    QTemporaryDir dir_;
    QProcess bus_, portal_;
    QString address_;
    std::unique_ptr<KeymapIndex> index_;
    std::unique_ptr<PortalKeySender> sender_;
    FakeKeySender* fallback_ = nullptr;
    QStringList told_, notes_;
    std::vector<RemoteDesktopPortal::Failure> failures_; // as told, granted or not
};

TEST_F(PortalSender, GrantedSendsKeysymsInOrderAndRefusesWhatTheLayoutLacks)
{
    start({});
    EXPECT_EQ(told_, QStringList{"granted"});
    ASSERT_TRUE(sender_->throughPortal());

    const QList<QJsonObject> asked = calls();
    ASSERT_GE(asked.size(), 3);
    EXPECT_EQ(asked[0][u"method"].toString(), QStringLiteral("CreateSession"));
    EXPECT_FALSE(asked[0][u"options"][u"session_handle_token"].toString().isEmpty());
    EXPECT_EQ(asked[1][u"method"].toString(), QStringLiteral("SelectDevices"));
    EXPECT_EQ(asked[1][u"options"][u"types"].toInt(), 1);
    EXPECT_EQ(asked[2][u"method"].toString(), QStringLiteral("Start"));
    EXPECT_EQ(asked[2][u"parent"].toString(), QStringLiteral("x11:2a"));
    EXPECT_TRUE(asked[2][u"session"].toString().endsWith(asked[0][u"options"][u"session_handle_token"].toString()));

    // The session's first event is a lone Shift, then the keys themselves.
    ASSERT_TRUE(sender_->send(QStringLiteral("+a^{TAB}A"), true));
    EXPECT_EQ(keysyms(), "+65505 -65505 +65505 +97 -97 -65505 +65507 +65289 -65289 -65507 +65 -65");

    const SendResult lacking = sender_->send(QStringLiteral("ab\u00e9c"), true);
    EXPECT_FALSE(lacking);
    EXPECT_TRUE(lacking.error.contains(u"U+00E9")) << lacking.error.toStdString();
    const std::string after = keysyms();
    EXPECT_EQ(std::count(after.begin(), after.end(), ' '), 11) << "something of the refused string was sent";
    EXPECT_TRUE(fallback_->calls().empty());
}

TEST_F(PortalSender, RefusedOrAbsentKeepsTheOtherSenderAndSaysSoOnce)
{
    using Failure = RemoteDesktopPortal::Failure;
    // What it is given, what it tells, and whether the portal is missing or said no.
    const std::tuple<QStringList, QString, Failure> cases[] = {
        {{"--answer", "refused"}, "refused", Failure::Refused},
        {{"--answer", "failed"}, "could not start", Failure::Failed},
        {{"--devices", "2"}, "no keyboard", Failure::Missing},
        {{"--absent"}, "not running", Failure::Missing},
    };
    for (const auto& [args, said, failure] : cases) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        told_.clear();
        failures_.clear();
        start(args);
        QTest::qWait(100);
        ASSERT_EQ(told_.size(), 1);
        EXPECT_TRUE(told_[0].contains(said)) << told_[0].toStdString();
        EXPECT_EQ(failures_, std::vector<Failure>{failure});
        EXPECT_TRUE(sender_->send(QStringLiteral("ab"), true));
        EXPECT_EQ(fallback_->keyStrings(), QStringList{"ab"});
        EXPECT_EQ(keysyms(), "");
        TearDown();
        SetUp();
    }
}

TEST_F(PortalSender, ASecondVersionPortalRemembersTheGrantForTheAppItKnows)
{
    const QString tokenFile = dir_.filePath(QStringLiteral("state/kelvo/remote-desktop-token"));
    const RemoteDesktopPortal::Remembering kelvo{QStringLiteral("org.kelvo.Kelvo"), tokenFile};
    auto last = [this](const QString& method) {
        QJsonObject found;
        for (const QJsonObject& call : calls())
            if (call[u"method"].toString() == method)
                found = call;
        return found;
    };
    auto held = [&tokenFile] {
        QFile file(tokenFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("(none)");
    };
    auto restart = [this](const QStringList& args, const RemoteDesktopPortal::Remembering& remembering) {
        TearDown();
        SetUp();
        told_.clear();
        notes_.clear();
        start(args, remembering);
        EXPECT_EQ(told_, QStringList{"granted"});
    };

    // Asked for until revoked; the token handed back is kept with the ID.
    start({"--version", "2", "--registry", "accept"}, kelvo);
    EXPECT_EQ(calls().value(0)[u"method"].toString(), QStringLiteral("Register")) << "not the first call";
    EXPECT_EQ(last("Register")[u"app_id"].toString(), QStringLiteral("org.kelvo.Kelvo"));
    EXPECT_EQ(last("SelectDevices")[u"options"][u"persist_mode"].toInt(), 2);
    EXPECT_FALSE(last("SelectDevices")[u"options"].toObject().contains(u"restore_token"));
    const QString first = last("Token")[u"token"].toString();
    EXPECT_EQ(held(), QStringLiteral("app-id=org.kelvo.Kelvo\nrestore-token=%1\n").arg(first));
    EXPECT_EQ(QFile::permissions(tokenFile) & ~(QFile::ReadUser | QFile::WriteUser), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(notes_.isEmpty()) << notes_.join(u'\n').toStdString();

    // The next start hands it back, and keeps the new one.
    restart({"--version", "2", "--registry", "accept"}, kelvo);
    EXPECT_EQ(last("SelectDevices")[u"options"][u"restore_token"].toString(), first);
    const QString second = last("Token")[u"token"].toString();
    EXPECT_NE(second, first);
    EXPECT_EQ(held(), QStringLiteral("app-id=org.kelvo.Kelvo\nrestore-token=%1\n").arg(second));
    EXPECT_TRUE(notes_.isEmpty()) << notes_.join(u'\n').toStdString();

    // Known by no ID now: that token cannot match, is not offered, and is
    // replaced by one of this ID; saying so once.
    restart({"--version", "2", "--registry", "refuse"}, kelvo);
    EXPECT_FALSE(last("SelectDevices")[u"options"].toObject().contains(u"restore_token"));
    ASSERT_EQ(notes_.size(), 1);
    EXPECT_TRUE(notes_[0].contains(u"could not be used") && notes_[0].contains(u"no application ID"))
        << notes_[0].toStdString();
    EXPECT_EQ(held(), QStringLiteral("app-id=\nrestore-token=%1\n").arg(last("Token")[u"token"].toString()));

    // Granted without remembering: the token kept names nothing any more.
    restart({"--version", "2", "--registry", "refuse", "--no-token"}, kelvo);
    EXPECT_FALSE(QFileInfo::exists(tokenFile));

    // A first version portal cannot remember: nothing asked of it, nothing kept.
    const QString elsewhere = dir_.filePath(QStringLiteral("other/remote-desktop-token"));
    restart({"--version", "1", "--registry", "accept"}, {QStringLiteral("org.kelvo.Kelvo"), elsewhere});
    EXPECT_FALSE(last("SelectDevices")[u"options"].toObject().contains(u"persist_mode"));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(elsewhere).path()));
}

TEST_F(PortalSender, PortalGoneMidRunFailsClearlyThenFallsBack)
{
    start({"--vanish-after", "4"});
    const SendResult cut = sender_->send(QStringLiteral("abc"), true);
    EXPECT_FALSE(cut);
    EXPECT_FALSE(cut.error.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([this] { return told_.size() == 2; }, 5000));
    EXPECT_TRUE(told_[1].contains(u"went away") || told_[1].contains(u"not running")) << told_[1].toStdString();
    EXPECT_FALSE(sender_->throughPortal());
    EXPECT_TRUE(sender_->send(QStringLiteral("d"), true));
    EXPECT_EQ(fallback_->keyStrings(), QStringList{"d"});
}

TEST_F(PortalSender, PortalGoneAtTheSessionsFirstEventIsToldAsTheGrantLost)
{
    start({"--vanish-after", "1"});
    ASSERT_TRUE(QTest::qWaitFor([this] { return told_.size() == 2; }, 5000)) << told_.join(u'|').toStdString();
    EXPECT_EQ(told_[0].toStdString(), "granted");
    EXPECT_TRUE(told_[1].contains(u"went away") || told_[1].contains(u"not running")) << told_[1].toStdString();
    EXPECT_FALSE(sender_->throughPortal());
}

} // namespace
