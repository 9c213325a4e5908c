// The portal sender against the tests' stand-in portal (tests/desktop/
// fake_portal.py) on a private session bus: the requests and their options,
// keysyms in order with the modifiers around them, a key the layout lacks
// refused whole, and refusal, absence and loss of the portal falling back to
// the other sender with one message.

#include "platform/fake/FakeKeySender.h"
#include "platform/portal/PortalKeySender.h"
#include "platform/xkb/KeymapIndex.h"

#include <QDBusConnection>
#include <QFile>
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
        bus_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
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
    void start(const QStringList& args)
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
                     [this](bool granted, const QString& why) { told_ << (granted ? "granted" : why); });
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
    QStringList told_;
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
    for (const QStringList& args : {QStringList{"--answer", "refused"}, QStringList{"--devices", "2"},
                                    QStringList{"--absent"}}) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        told_.clear();
        start(args);
        QTest::qWait(100);
        ASSERT_EQ(told_.size(), 1);
        EXPECT_TRUE(told_[0].contains(args.value(1) == u"refused" ? u"refused" : args.value(1) == u"2" ? u"no keyboard"
                                                                                           : u"not running"))
            << told_[0].toStdString();
        EXPECT_TRUE(sender_->send(QStringLiteral("ab"), true));
        EXPECT_EQ(fallback_->keyStrings(), QStringList{"ab"});
        EXPECT_EQ(keysyms(), "");
        TearDown();
        SetUp();
    }
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

} // namespace
