#include "CToleranceLimitStore.h"

#include "CSqliteArchive.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>

namespace {

QVariant LimitValue(const std::optional<double>& limit)
{
    return limit ? QVariant(*limit) : QVariant(QMetaType(QMetaType::Double));
}

std::optional<double> LimitOf(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

}  // namespace

CToleranceLimitStore::CToleranceLimitStore(CSqliteArchive& archive) : m_archive(archive) {}

bool CToleranceLimitStore::Load(const DownloadMeter& meter, const std::string& unit,
                                StoredToleranceLimits* out)
{
    if (!m_archive.IsOpen())
        return false;
    QSqlQuery q(m_archive.Database());
    q.prepare(QStringLiteral("SELECT lower, upper, changed FROM tolerance_limits"
                             " WHERE meter_key = ? AND unit = ?"));
    q.addBindValue(QString::fromStdString(CSqliteArchive::MeterKey(meter)));
    q.addBindValue(QString::fromStdString(unit));
    if (!q.exec() || !q.next())
        return false;
    if (out) {
        out->lower = LimitOf(q.value(0));
        out->upper = LimitOf(q.value(1));
        out->tChanged = q.value(2).toLongLong();
    }
    return true;
}

bool CToleranceLimitStore::Save(const DownloadMeter& meter, const std::string& unit,
                                const std::optional<double>& lower, const std::optional<double>& upper,
                                int64_t now, std::string* error)
{
    const auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!m_archive.IsOpen())
        return fail("보관함이 열려 있지 않아 한계값을 저장하지 못했습니다.");
    if (m_archive.IsReadOnly())
        return fail("보관함이 읽기 전용이라 한계값을 저장하지 못했습니다.");
    // A NaN would read back as no limit at all; such limits never reach here
    // from the window, but the table only ever holds numbers.
    if ((lower && !std::isfinite(*lower)) || (upper && !std::isfinite(*upper)))
        return fail("한계값이 숫자가 아닙니다.");
    const QString key = QString::fromStdString(CSqliteArchive::MeterKey(meter));
    QSqlQuery q(m_archive.Database());
    if (!lower && !upper) {
        q.prepare(QStringLiteral("DELETE FROM tolerance_limits WHERE meter_key = ? AND unit = ?"));
        q.addBindValue(key);
        q.addBindValue(QString::fromStdString(unit));
    } else {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO tolerance_limits"
                                 " (meter_key, unit, lower, upper, changed) VALUES (?, ?, ?, ?, ?)"));
        q.addBindValue(key);
        q.addBindValue(QString::fromStdString(unit));
        q.addBindValue(LimitValue(lower));
        q.addBindValue(LimitValue(upper));
        q.addBindValue(qlonglong(now));
    }
    if (!q.exec())
        return fail(CSqliteArchive::WriteErrorText(q.lastError()));
    return true;
}
