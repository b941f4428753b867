#pragma once
// The optional administrator password. Off until one is set; then the
// administrator window asks for it before anything can be written to the
// meter.
//
// Only a salted PBKDF2-SHA256 hash is kept, in the settings file under
// [ADMIN] PASSWORD as "pbkdf2-sha256$<iterations>$<salt>$<hash>" (salt and
// hash in base64). A try is checked in constant time. After three wrong
// tries in a row every further try must wait 30 s from the last wrong one;
// the wait runs on the given clock, so tests drive it without sleeping. The
// count lives in this object (one per run of the program).
//
// Deriving the hash is meant to be slow: about half a second per Verify, Set,
// Change or Remove, so a window runs them off its own thread.

#include <QByteArray>
#include <QString>

#include <cstdint>

class CIniSysInfo;
class ILinkClock;

class CAdminPassword {
public:
    enum class EResult {
        Ok,
        Wrong,          // the password is not the one set
        Empty,          // an empty field is not a password
        Waiting,        // too many wrong tries; not checked (SecondsToWait)
        NotSet,         // no password is set
        AlreadySet,     // Set while one is set: Change it instead
        Unreadable,     // the stored text is not one this program writes
        WriteFailed,    // the settings file could not be written
    };

    static constexpr int kIterations = 100000;
    static constexpr int kFreeTries = 3;
    static constexpr int kWaitSeconds = 30;

    CAdminPassword(CIniSysInfo& settings, ILinkClock& clock);

    // A password is set (something is stored, even a text this program
    // cannot read: such a file keeps the window locked).
    bool IsSet() const;

    EResult Verify(const QString& password);
    // Sets the first password.
    EResult Set(const QString& password);
    // Needs the password set now.
    EResult Change(const QString& oldPassword, const QString& newPassword);
    EResult Remove(const QString& oldPassword);

    // Whole seconds until the next try is checked; 0 when it may be tried now.
    int SecondsToWait();

    // The Korean message for a result ("관리자 비밀번호가 틀렸습니다." …);
    // for Waiting it names the seconds left.
    QString Message(EResult result);

    // The stored text for a password with the given salt (for tests and the
    // settings file) and its check.
    static QString HashText(const QString& password, const QByteArray& salt, int iterations = kIterations);
    // True when stored is a well-formed hash text and password matches it.
    static bool Matches(const QString& stored, const QString& password, bool* wellFormed = nullptr);

private:
    EResult Check(const QString& password);
    EResult Store(const QString& text);

    CIniSysInfo& m_settings;
    ILinkClock& m_clock;
    int m_nWrongTries = 0;
    int64_t m_nLastWrongUs = 0;
};
