#include "CCalibrationSnapshot.h"

#include "CCalibrationFit.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const char* const kFormat = "brevane-calibration";
const int kVersion = 1;
// A backup is a few kilobytes; anything much larger is not one.
const qint64 kMaxFileBytes = 1 << 20;

const char* const kReasonKeys[] = {"as-found", "as-left", "before-firmware", "backup"};

bool IsKnownSize(int size)
{
    return size >= LOADCELL_7T && size <= LOADCELL_30T;
}

QByteArray ContentHash(const QJsonObject& content)
{
    return QCryptographicHash::hash(QJsonDocument(content).toJson(QJsonDocument::Compact),
                                    QCryptographicHash::Sha256)
        .toHex();
}

QJsonObject SizeObject(LoadCellSize size, const CalibrationBytes& bytes)
{
    const CalibrationRecord record = DecodeCalibrationRecord(bytes.data());
    QJsonArray points;
    for (uint32_t point : record.nPoints)
        points.append(qint64(point));
    QJsonArray corrections;
    for (int correction : record.nCorrections)
        corrections.append(correction);
    QJsonObject object;
    object["size"] = QString::fromStdString(CCalibrationFit::SizeName(size));
    object["record"] = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                      int(bytes.size()))
                                               .toHex());
    object["points"] = points;
    object["present"] = qint64(record.nPresent);
    object["corrections"] = corrections;
    return object;
}

bool Fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString Damaged()
{
    return QStringLiteral("보정값 파일이 손상되었거나 변경되었습니다 (검사값 불일치). 이 파일은 사용할 수 없습니다.");
}

} // namespace

bool SnapshotMeter::IsSameMeter(const SnapshotMeter& other) const
{
    if (HasSerial() || other.HasSerial())
        return HasSerial() && other.HasSerial() && strSerial.trimmed() == other.strSerial.trimmed();
    return !strName.trimmed().isEmpty() && strName.trimmed() == other.strName.trimmed();
}

QString SnapshotMeter::Text() const
{
    const QString name = strName.isEmpty() ? QStringLiteral("-") : strName;
    return QStringLiteral("%1 (S/N %2)").arg(name, HasSerial() ? strSerial : QStringLiteral("-"));
}

QString CCalibrationSnapshot::ReasonText(ESnapshotReason reason)
{
    switch (reason) {
    case ESnapshotReason::AsFound:
        return QStringLiteral("보정 전");
    case ESnapshotReason::AsLeft:
        return QStringLiteral("보정 후");
    case ESnapshotReason::BeforeFirmware:
        return QStringLiteral("펌웨어 업로드 전");
    case ESnapshotReason::Backup:
        return QStringLiteral("백업");
    }
    return {};
}

void CCalibrationSnapshot::SetRecord(LoadCellSize size, const uint8_t* record)
{
    if (!IsKnownSize(size))
        return;
    if (!record) {
        m_records[size].reset();
        return;
    }
    CalibrationBytes bytes;
    std::copy(record, record + CALIBRATION_RECORD_LEN, bytes.begin());
    m_records[size] = bytes;
}

bool CCalibrationSnapshot::HasRecord(LoadCellSize size) const
{
    return IsKnownSize(size) && m_records[size].has_value();
}

std::optional<CalibrationBytes> CCalibrationSnapshot::Bytes(LoadCellSize size) const
{
    return IsKnownSize(size) ? m_records[size] : std::nullopt;
}

CalibrationRecord CCalibrationSnapshot::Record(LoadCellSize size) const
{
    return HasRecord(size) ? DecodeCalibrationRecord(m_records[size]->data()) : CalibrationRecord{};
}

QByteArray CCalibrationSnapshot::ToJson() const
{
    QJsonObject meter;
    meter["name"] = m_meter.strName;
    meter["serial"] = m_meter.strSerial;
    meter["version"] = m_meter.strVersion;
    QJsonArray sizes;
    for (int size = 0; size < SIZES; ++size) {
        if (m_records[size])
            sizes.append(SizeObject(LoadCellSize(size), *m_records[size]));
        else
            sizes.append(QJsonValue::Null);
    }
    QJsonObject content;
    content["meter"] = meter;
    content["meterClock"] = m_strMeterClock;
    content["pcTime"] = m_dtPc.toString(Qt::ISODate);
    content["user"] = m_strUser;
    content["reason"] = QString::fromLatin1(kReasonKeys[int(m_eReason)]);
    content["sizes"] = sizes;

    QJsonObject file;
    file["format"] = QString::fromLatin1(kFormat);
    file["version"] = kVersion;
    file["title"] = QStringLiteral("보정값 백업");
    file["content"] = content;
    file["sha256"] = QString::fromLatin1(ContentHash(content));
    return QJsonDocument(file).toJson(QJsonDocument::Indented);
}

bool CCalibrationSnapshot::FromJson(const QByteArray& json, CCalibrationSnapshot* snapshot, QString* error)
{
    const QString notBackup = QStringLiteral("보정값 백업 파일이 아닙니다.");
    if (json.size() > kMaxFileBytes)
        return Fail(error, notBackup);
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject())
        return Fail(error, notBackup);
    const QJsonObject file = document.object();
    if (file.value("format").toString() != QLatin1String(kFormat) || !file.value("content").isObject())
        return Fail(error, notBackup);
    if (file.value("version").toInt(-1) != kVersion)
        return Fail(error, QStringLiteral("이 프로그램이 읽을 수 없는 판의 보정값 백업 파일입니다."));

    const QJsonObject content = file.value("content").toObject();
    if (file.value("sha256").toString().toLatin1() != ContentHash(content))
        return Fail(error, Damaged());

    // The checksum only proves the file is as written; what it says must
    // still make sense before anything is shown or written from it.
    CCalibrationSnapshot read;
    const QJsonObject meter = content.value("meter").toObject();
    read.m_meter.strName = meter.value("name").toString();
    read.m_meter.strSerial = meter.value("serial").toString();
    read.m_meter.strVersion = meter.value("version").toString();
    read.m_strMeterClock = content.value("meterClock").toString();
    read.m_dtPc = QDateTime::fromString(content.value("pcTime").toString(), Qt::ISODate);
    read.m_strUser = content.value("user").toString();
    const QString reason = content.value("reason").toString();
    bool reasonKnown = false;
    for (int i = 0; i < 4; ++i) {
        if (reason == QLatin1String(kReasonKeys[i])) {
            read.m_eReason = ESnapshotReason(i);
            reasonKnown = true;
        }
    }
    const QJsonArray sizes = content.value("sizes").toArray();
    if (!reasonKnown || sizes.size() != SIZES)
        return Fail(error, Damaged());
    for (int size = 0; size < SIZES; ++size) {
        const QJsonValue value = sizes.at(size);
        if (value.isNull())
            continue;
        const QByteArray hex = value.toObject().value("record").toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(hex);
        if (hex.size() != 2 * CALIBRATION_RECORD_LEN || bytes.size() != CALIBRATION_RECORD_LEN
            || bytes.toHex() != hex.toLower())
            return Fail(error, Damaged());
        read.SetRecord(LoadCellSize(size), reinterpret_cast<const uint8_t*>(bytes.constData()));
    }
    *snapshot = read;
    return true;
}

bool CCalibrationSnapshot::Save(const QString& path, QString* error) const
{
    QSaveFile file(path);
    const QByteArray json = ToJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        return Fail(error, QStringLiteral("보정값 백업 파일을 저장하지 못했습니다 (%1): %2")
                               .arg(path, file.errorString()));
    return true;
}

bool CCalibrationSnapshot::Load(const QString& path, const SnapshotMeter& expected, CCalibrationSnapshot* snapshot,
                                QString* error)
{
    if (expected.strName.trimmed().isEmpty() && !expected.HasSerial())
        return Fail(error, QStringLiteral("연결된 계측기 정보가 없습니다. 장비 조회 후 다시 불러오십시오."));
    QFile file(path);
    // Only a regular file is opened: a FIFO would block the read for good.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return Fail(error, QStringLiteral("보정값 파일을 열지 못했습니다 (%1): %2").arg(path, file.errorString()));
    if (file.size() > kMaxFileBytes)
        return Fail(error, QStringLiteral("보정값 백업 파일이 아닙니다."));
    CCalibrationSnapshot read;
    if (!FromJson(file.read(kMaxFileBytes + 1), &read, error))
        return false;
    if (!read.m_meter.IsSameMeter(expected))
        return Fail(error, QStringLiteral("다른 계측기의 보정값입니다. 파일: %1, 연결된 계측기: %2")
                               .arg(read.m_meter.Text(), expected.Text()));
    *snapshot = read;
    return true;
}

QString CCalibrationSnapshot::SuggestedFileName() const
{
    QString who = m_meter.HasSerial() ? m_meter.strSerial : m_meter.strName;
    QString safe;
    for (QChar c : who.trimmed())
        safe += (c.isLetterOrNumber() || c == '-' || c == '_') ? c : QChar('_');
    const QString when = (m_dtPc.isValid() ? m_dtPc : QDateTime::currentDateTime()).toString("yyyyMMdd-HHmmss");
    return QStringLiteral("보정값 백업 %1 %2.json").arg(safe.isEmpty() ? QStringLiteral("계측기") : safe, when);
}
