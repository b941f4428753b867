// The administrator password in a real settings file, with the wait after
// wrong tries driven by a manual clock.

#include "CAdminPassword.h"
#include "CIniSysInfo.h"
#include "CManualClock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using EResult = CAdminPassword::EResult;

struct Rig {
    QTemporaryDir dir;
    CIniSysInfo settings;
    CManualClock clock;

    Rig() { Reload(); }
    // As the next start of the program reads the file.
    void Reload()
    {
        settings.LoadSettings(dir.filePath("brevane").toStdString(), [](const std::string&) { return true; });
    }
    QByteArray FileText() const
    {
        QFile file(QString::fromStdString(settings.m_szIniPath));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
};

} // namespace

TEST(AdminPassword, SetVerifyChangeRemoveThroughTheSettingsFile)
{
    Rig rig;
    CAdminPassword password(rig.settings, rig.clock);
    EXPECT_FALSE(password.IsSet());
    EXPECT_EQ(password.Verify("abc"), EResult::NotSet);
    EXPECT_EQ(password.Set(""), EResult::Empty);
    EXPECT_EQ(password.Set("   "), EResult::Empty);
    EXPECT_FALSE(password.IsSet());

    ASSERT_EQ(password.Set(QStringLiteral("관리자1234")), EResult::Ok);
    EXPECT_EQ(password.Set("other"), EResult::AlreadySet);
    const QByteArray text = rig.FileText();
    EXPECT_TRUE(text.contains("[ADMIN]"));
    EXPECT_TRUE(text.contains("PASSWORD=pbkdf2-sha256$100000$"));
    EXPECT_FALSE(text.contains(QStringLiteral("관리자1234").toUtf8()));

    // The next start reads it back; the hash is salted, so the same
    // password set twice is stored differently.
    rig.Reload();
    CAdminPassword again(rig.settings, rig.clock);
    EXPECT_TRUE(again.IsSet());
    EXPECT_EQ(again.Verify(QStringLiteral("관리자1234")), EResult::Ok);
    EXPECT_EQ(again.Verify(QStringLiteral("관리자123")), EResult::Wrong);
    EXPECT_EQ(again.Verify(""), EResult::Empty);
    EXPECT_NE(CAdminPassword::HashText("x", "saltsaltsaltsalt"), CAdminPassword::HashText("x", "saltsaltsaltsal2"));

    EXPECT_EQ(again.Change(QStringLiteral("wrong"), QStringLiteral("new")), EResult::Wrong);
    EXPECT_EQ(again.Change(QStringLiteral("관리자1234"), QStringLiteral("")), EResult::Empty);
    ASSERT_EQ(again.Change(QStringLiteral("관리자1234"), QStringLiteral("new pass")), EResult::Ok);
    EXPECT_EQ(again.Verify(QStringLiteral("관리자1234")), EResult::Wrong);
    EXPECT_EQ(again.Verify(QStringLiteral("new pass")), EResult::Ok);
    EXPECT_FALSE(rig.FileText().contains("new pass"));

    EXPECT_EQ(again.Remove(QStringLiteral("nope")), EResult::Wrong);
    ASSERT_EQ(again.Remove(QStringLiteral("new pass")), EResult::Ok);
    rig.Reload();
    EXPECT_FALSE(CAdminPassword(rig.settings, rig.clock).IsSet());
}

TEST(AdminPassword, ThreeWrongTriesMakeTheNextWaitThirtySeconds)
{
    Rig rig;
    CAdminPassword password(rig.settings, rig.clock);
    ASSERT_EQ(password.Set("secret"), EResult::Ok);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(password.Verify("guess"), EResult::Wrong);
    // Even the right password is not checked during the wait.
    EXPECT_EQ(password.SecondsToWait(), 30);
    EXPECT_EQ(password.Verify("secret"), EResult::Waiting);
    EXPECT_TRUE(password.Message(EResult::Waiting).contains(QStringLiteral("30초")));
    rig.clock.AdvanceUs(29'500'000);
    EXPECT_EQ(password.SecondsToWait(), 1);
    EXPECT_EQ(password.Verify("secret"), EResult::Waiting);
    rig.clock.AdvanceUs(500'000);
    EXPECT_EQ(password.SecondsToWait(), 0);

    // After the wait a wrong try starts another wait at once ...
    EXPECT_EQ(password.Verify("guess"), EResult::Wrong);
    EXPECT_EQ(password.Verify("secret"), EResult::Waiting);
    rig.clock.AdvanceUs(30'000'000);
    // ... and the right one clears the count.
    EXPECT_EQ(password.Verify("secret"), EResult::Ok);
    EXPECT_EQ(password.Verify("guess"), EResult::Wrong);
    EXPECT_EQ(password.SecondsToWait(), 0);
    // Empty fields are not tries.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(password.Verify(""), EResult::Empty);
    EXPECT_EQ(password.Verify("secret"), EResult::Ok);
}

TEST(AdminPassword, MalformedStoredTextKeepsTheWindowLockedAndUnwritableFileKeepsTheOld)
{
    Rig rig;
    for (const char* stored : {"plain-password", "pbkdf2-sha256$0$AAAA$AAAA", "pbkdf2-sha256$100000$!!$AAAA",
                               "pbkdf2-sha256$1000001$c2FsdA==$AAAA"}) {
        rig.settings.m_szAdminPassword = stored;
        CAdminPassword password(rig.settings, rig.clock);
        EXPECT_TRUE(password.IsSet());
        EXPECT_EQ(password.Verify("plain-password"), EResult::Unreadable) << stored;
    }

    rig.settings.m_szAdminPassword.clear();
    rig.settings.m_szIniPath = rig.dir.filePath("no-such-folder/brevane.ini").toStdString();
    CAdminPassword password(rig.settings, rig.clock);
    EXPECT_EQ(password.Set("secret"), EResult::WriteFailed);
    EXPECT_FALSE(password.IsSet());   // nothing asked for that the next start would not know
}

TEST(AdminPassword, ClockDriftLimitIsReadFromTheSettingsFile)
{
    Rig rig;
    EXPECT_EQ(rig.settings.m_nMaxClockDrift, 60);
    for (const auto& [value, expected] : std::vector<std::pair<const char*, int>>{
             {"120", 120}, {"0", 60}, {"-5", 60}, {"abc", 60}, {"86401", 60}, {"", 60}}) {
        QFile file(QString::fromStdString(rig.settings.m_szIniPath));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("[CLOCK]\nMAX_DRIFT=") + value + "\n");
        file.close();
        rig.Reload();
        EXPECT_EQ(rig.settings.m_nMaxClockDrift, expected) << value;
    }
}
