#include "CAdminPassword.h"

#include "CIniSysInfo.h"
#include "ILinkClock.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

namespace {

const QString kScheme = QStringLiteral("pbkdf2-sha256");
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
// A stored count above this is not one of ours: it would keep the window
// waiting for many seconds on every try.
constexpr int kMaxIterations = 1000000;

bool IsEmptyField(const QString& password)
{
    return password.trimmed().isEmpty();
}

// Compares every byte whatever the first difference, so the time taken does
// not tell how much of a try was right.
bool EqualConstantTime(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QByteArray Derive(const QString& password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              kHashBytes);
}

} // namespace

CAdminPassword::CAdminPassword(CIniSysInfo& settings, ILinkClock& clock)
    : m_settings(settings), m_clock(clock)
{
}

bool CAdminPassword::IsSet() const
{
    return !QString::fromStdString(m_settings.m_szAdminPassword).trimmed().isEmpty();
}

QString CAdminPassword::HashText(const QString& password, const QByteArray& salt, int iterations)
{
    return QStringLiteral("%1$%2$%3$%4")
        .arg(kScheme)
        .arg(iterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(Derive(password, salt, iterations).toBase64()));
}

bool CAdminPassword::Matches(const QString& stored, const QString& password, bool* wellFormed)
{
    if (wellFormed)
        *wellFormed = false;
    const QStringList parts = stored.trimmed().split('$');
    if (parts.size() != 4 || parts[0] != kScheme)
        return false;
    bool number = false;
    const int iterations = parts[1].toInt(&number);
    const auto salt = QByteArray::fromBase64Encoding(parts[2].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto hash = QByteArray::fromBase64Encoding(parts[3].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!number || iterations < 1 || iterations > kMaxIterations || !salt || salt.decoded.isEmpty() || !hash
        || hash.decoded.size() != kHashBytes)
        return false;
    if (wellFormed)
        *wellFormed = true;
    return EqualConstantTime(Derive(password, salt.decoded, iterations), hash.decoded);
}

int CAdminPassword::SecondsToWait()
{
    if (m_nWrongTries < kFreeTries)
        return 0;
    const int64_t waitUs = int64_t(kWaitSeconds) * 1000000;
    const int64_t elapsed = m_clock.MonotonicUs() - m_nLastWrongUs;
    if (elapsed >= waitUs)
        return 0;
    return int((waitUs - elapsed + 999999) / 1000000);
}

CAdminPassword::EResult CAdminPassword::Check(const QString& password)
{
    if (!IsSet())
        return EResult::NotSet;
    if (IsEmptyField(password))
        return EResult::Empty;   // not a try: nothing is counted
    if (SecondsToWait() > 0)
        return EResult::Waiting;
    bool wellFormed = false;
    if (Matches(QString::fromStdString(m_settings.m_szAdminPassword), password, &wellFormed)) {
        m_nWrongTries = 0;
        return EResult::Ok;
    }
    if (!wellFormed)
        return EResult::Unreadable;
    ++m_nWrongTries;
    m_nLastWrongUs = m_clock.MonotonicUs();
    return EResult::Wrong;
}

CAdminPassword::EResult CAdminPassword::Store(const QString& text)
{
    // A text that did not reach the file is not kept either: what is
    // asked for must match what the next start reads.
    const std::string previous = m_settings.m_szAdminPassword;
    if (m_settings.SaveAdminPassword(text.toStdString()))
        return EResult::Ok;
    m_settings.m_szAdminPassword = previous;
    return EResult::WriteFailed;
}

CAdminPassword::EResult CAdminPassword::Verify(const QString& password)
{
    return Check(password);
}

CAdminPassword::EResult CAdminPassword::Set(const QString& password)
{
    if (IsSet())
        return EResult::AlreadySet;
    if (IsEmptyField(password))
        return EResult::Empty;
    QByteArray salt(kSaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), kSaltBytes / 4);
    return Store(HashText(password, salt));
}

CAdminPassword::EResult CAdminPassword::Change(const QString& oldPassword, const QString& newPassword)
{
    if (IsEmptyField(newPassword))
        return EResult::Empty;
    const EResult checked = Check(oldPassword);
    if (checked != EResult::Ok)
        return checked;
    const std::string previous = m_settings.m_szAdminPassword;
    m_settings.m_szAdminPassword.clear();
    const EResult result = Set(newPassword);
    if (result != EResult::Ok)
        m_settings.m_szAdminPassword = previous;   // the file still holds the old one
    return result;
}

CAdminPassword::EResult CAdminPassword::Remove(const QString& oldPassword)
{
    const EResult checked = Check(oldPassword);
    if (checked != EResult::Ok)
        return checked;
    return Store(QString());
}

QString CAdminPassword::Message(EResult result)
{
    switch (result) {
    case EResult::Ok:
        return QStringLiteral("성공");
    case EResult::Wrong:
        return QStringLiteral("관리자 비밀번호가 틀렸습니다.");
    case EResult::Empty:
        return QStringLiteral("비밀번호를 입력하십시오.");
    case EResult::Waiting:
        return QStringLiteral("비밀번호가 %1회 틀렸습니다. %2초 후에 다시 입력하십시오.")
            .arg(m_nWrongTries)
            .arg(SecondsToWait());
    case EResult::NotSet:
        return QStringLiteral("관리자 비밀번호가 설정되어 있지 않습니다.");
    case EResult::AlreadySet:
        return QStringLiteral("관리자 비밀번호가 이미 설정되어 있습니다. 변경하려면 현재 비밀번호가 필요합니다.");
    case EResult::Unreadable:
        return QStringLiteral("설정 파일의 관리자 비밀번호 항목을 읽을 수 없습니다.");
    case EResult::WriteFailed:
        return QStringLiteral("설정 파일을 저장하지 못했습니다: %1")
            .arg(QString::fromStdString(m_settings.m_szIniPath));
    }
    return {};
}
