// Calibration backups written and read back as files, their refusal when
// damaged, edited or for another meter, and the comparison and restore plan.

#include "CCalibrationSnapshot.h"
#include "CalibrationChanges.h"

#include <QFile>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// @0..@11 points, @12 present, @15.. corrections + 2048, big-endian.
CalibrationBytes MakeRecord(uint32_t p1, int c0, int c2, uint32_t present = 777)
{
    const uint32_t values[5] = {1000, p1, 51500, 66000, present};
    CalibrationBytes bytes{};
    for (int i = 0; i < 5; ++i) {
        bytes[3 * i] = uint8_t(values[i] >> 16);
        bytes[3 * i + 1] = uint8_t(values[i] >> 8);
        bytes[3 * i + 2] = uint8_t(values[i]);
    }
    const int corrections[3] = {c0, 0, c2};
    for (int i = 0; i < 3; ++i) {
        const int stored = corrections[i] + 2048;
        bytes[15 + 2 * i] = uint8_t(stored >> 8);
        bytes[16 + 2 * i] = uint8_t(stored);
    }
    return bytes;
}

SnapshotMeter Meter(const char* serial = "SN12345", const char* name = "PM-01")
{
    return {QString::fromUtf8(name), QString::fromUtf8(serial), QStringLiteral("V1.2")};
}

CCalibrationSnapshot Snapshot(uint32_t p1, int c0, int c2)
{
    CCalibrationSnapshot snapshot;
    snapshot.m_meter = Meter();
    snapshot.m_strMeterClock = QStringLiteral("2026-12-07 10:00:05");
    snapshot.m_dtPc = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0));
    snapshot.m_strUser = QStringLiteral("김측정");
    snapshot.m_eReason = ESnapshotReason::AsFound;
    snapshot.SetRecord(LOADCELL_7T, MakeRecord(p1, c0, c2).data());
    snapshot.SetRecord(LOADCELL_30T, MakeRecord(p1 * 2, -c0, 0).data());
    return snapshot;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

} // namespace

TEST(CalibrationSnapshot, FileRoundTripKeepsEverything)
{
    QTemporaryDir dir;
    const CCalibrationSnapshot saved = Snapshot(31000, 12, -5);
    const QString path = dir.filePath(saved.SuggestedFileName());
    EXPECT_TRUE(path.endsWith(QStringLiteral("보정값 백업 SN12345 20261207-100000.json")));
    QString error;
    ASSERT_TRUE(saved.Save(path, &error)) << error.toStdString();

    CCalibrationSnapshot loaded;
    ASSERT_TRUE(CCalibrationSnapshot::Load(path, Meter(), &loaded, &error)) << error.toStdString();
    EXPECT_EQ(loaded.m_meter.strName, QStringLiteral("PM-01"));
    EXPECT_EQ(loaded.m_meter.strVersion, QStringLiteral("V1.2"));
    EXPECT_EQ(loaded.m_strMeterClock, saved.m_strMeterClock);
    EXPECT_EQ(loaded.m_dtPc, saved.m_dtPc);
    EXPECT_EQ(loaded.m_strUser, QStringLiteral("김측정"));
    EXPECT_EQ(loaded.m_eReason, ESnapshotReason::AsFound);
    EXPECT_TRUE(loaded.HasRecord(LOADCELL_7T));
    EXPECT_FALSE(loaded.HasRecord(LOADCELL_15T));
    EXPECT_EQ(loaded.Bytes(LOADCELL_7T), saved.Bytes(LOADCELL_7T));
    EXPECT_EQ(loaded.Record(LOADCELL_30T).nCorrections[0], -12);
    EXPECT_EQ(loaded.Record(LOADCELL_7T).nPresent, 777u);
    EXPECT_TRUE(CompareSnapshots(saved, loaded).empty());
}

TEST(CalibrationSnapshot, DamagedEditedForeignAndUnknownFilesAreRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("backup.json");
    QString error;
    ASSERT_TRUE(Snapshot(31000, 12, -5).Save(path, &error));
    const QByteArray good = ReadAll(path);
    CCalibrationSnapshot loaded;

    // A correction edited by hand in the readable fields and in the record
    // bytes alike: the checksum no longer fits.
    QByteArray edited = good;
    const QByteArray stored12 = QByteArray("080c");   // 12 + 2048
    ASSERT_TRUE(edited.contains(stored12));
    edited.replace(stored12, QByteArray("0800"));
    WriteAll(path, edited);
    EXPECT_FALSE(CCalibrationSnapshot::Load(path, Meter(), &loaded, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("검사값"))) << error.toStdString();

    // The same file for a meter with another serial number, or with no
    // identity to compare with.
    WriteAll(path, good);
    EXPECT_FALSE(CCalibrationSnapshot::Load(path, Meter("SN99999"), &loaded, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("다른 계측기"))) << error.toStdString();
    EXPECT_FALSE(CCalibrationSnapshot::Load(path, SnapshotMeter{}, &loaded, &error));
    EXPECT_TRUE(CCalibrationSnapshot::Load(path, Meter("SN12345", "other name"), &loaded, &error));

    // A checksum recomputed over a record that is not 21 bytes.
    QJsonObject file = QJsonDocument::fromJson(good).object();
    QJsonObject content = file["content"].toObject();
    QJsonArray sizes = content["sizes"].toArray();
    QJsonObject size0 = sizes[0].toObject();
    size0["record"] = QStringLiteral("00ff");
    sizes[0] = size0;
    content["sizes"] = sizes;
    file["content"] = content;
    file["sha256"] = QString::fromLatin1(
        QCryptographicHash::hash(QJsonDocument(content).toJson(QJsonDocument::Compact), QCryptographicHash::Sha256)
            .toHex());
    WriteAll(path, QJsonDocument(file).toJson());
    EXPECT_FALSE(CCalibrationSnapshot::Load(path, Meter(), &loaded, &error));

    for (const QByteArray& junk : {QByteArray(), QByteArray("{"), QByteArray("[1,2]"), QByteArray(2 << 20, ' ')}) {
        WriteAll(path, junk);
        error.clear();
        EXPECT_FALSE(CCalibrationSnapshot::Load(path, Meter(), &loaded, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_FALSE(CCalibrationSnapshot::Load(dir.filePath("missing.json"), Meter(), &loaded, &error));
    const QString fifo = dir.filePath("fifo.json");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(CCalibrationSnapshot::Load(fifo, Meter(), &loaded, &error));   // refused, not blocked

    // Meters without a serial number are told apart by name; one with a
    // serial never matches one without.
    EXPECT_TRUE(Meter("-", "A").IsSameMeter(Meter("", "A")));
    EXPECT_FALSE(Meter("-", "A").IsSameMeter(Meter("-", "B")));
    EXPECT_FALSE(Meter("SN1", "A").IsSameMeter(Meter("-", "A")));
}

TEST(CalibrationSnapshot, ComparisonListsPointsAndCorrectionsNotThePresentValue)
{
    const CCalibrationSnapshot before = Snapshot(31000, 12, -5);
    CCalibrationSnapshot after = Snapshot(30950, 0, -5);
    after.SetRecord(LOADCELL_30T, nullptr);
    after.SetRecord(LOADCELL_15T, MakeRecord(1, 1, 1).data());
    // Only the live reading differs for this size: nothing to list.
    CCalibrationSnapshot live = before;
    live.SetRecord(LOADCELL_7T, MakeRecord(31000, 12, -5, 123456).data());
    EXPECT_TRUE(CompareSnapshots(before, live).empty());

    const std::vector<CalibrationChange> changes = CompareSnapshots(before, after);
    QStringList texts;
    for (const CalibrationChange& change : changes)
        texts << change.Text();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("7톤 30 KN 보정 점: 31000 → 30950"),
                                  QStringLiteral("7톤 30 KN 보정 값: 12 → 0"),
                                  QStringLiteral("15톤 보정 기록: (읽지 않음) → 읽음"),
                                  QStringLiteral("30톤 보정 기록: 읽음 → (읽지 않음)")}));
}

TEST(CalibrationSnapshot, RestorePlanWritesCorrectionsAndOnlyReportsPoints)
{
    const CCalibrationSnapshot now = Snapshot(30950, 0, 7);
    CCalibrationSnapshot backup = Snapshot(31000, 12, -5);
    backup.SetRecord(LOADCELL_15T, MakeRecord(1, 1, 1).data());   // not read from the meter now
    const CalibrationRestorePlan plan = PlanRestore(now, backup);

    // 7 t corrections 0 and 2 (slots 6 and 8), 30 t correction 0 (slot 3).
    ASSERT_EQ(plan.corrections.size(), 3u);
    const CorrectionWrite& first = plan.corrections[0];
    EXPECT_EQ(first.nSlot, 6);
    EXPECT_EQ(first.nOld, 0);
    EXPECT_EQ(first.nNew, 12);
    EXPECT_EQ(first.request.nCommand, CMD_SET_CORRECTION);
    EXPECT_EQ(first.request.nLength, 3);
    EXPECT_EQ(first.request.payload[0], 6);
    EXPECT_EQ(first.request.payload[1], 0x08);
    EXPECT_EQ(first.request.payload[2], 0x0C);
    EXPECT_EQ(plan.corrections[1].nSlot, 8);
    EXPECT_EQ(plan.corrections[1].nNew, -5);
    EXPECT_EQ(plan.corrections[2].nSlot, 3);
    EXPECT_EQ(plan.corrections[2].nNew, -12);

    ASSERT_EQ(plan.points.size(), 2u);   // 7 t and 30 t point 1
    EXPECT_EQ(plan.points[0].Text(), QStringLiteral("7톤 30 KN 보정 점: 30950 → 31000"));
    EXPECT_EQ(plan.points[1].Text(), QStringLiteral("30톤 160 KN 보정 점: 61900 → 62000"));
    const QString text = plan.Text();
    EXPECT_TRUE(text.contains(QStringLiteral("값으로 쓸 수 없습니다"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("7톤 30 KN 보정 값 (슬롯 6): 0 → 12")));
    EXPECT_TRUE(text.contains(QStringLiteral("15톤: 계측기의 현재 보정값을 읽지 못해")));

    // A backup value the meter could never hold is not written.
    CCalibrationSnapshot odd = now;
    odd.SetRecord(LOADCELL_7T, MakeRecord(30950, 2000, 7).data());
    const CalibrationRestorePlan refused = PlanRestore(now, odd);
    EXPECT_FALSE(refused.HasWrites());
    ASSERT_EQ(refused.notes.size(), 1);
    EXPECT_TRUE(refused.notes[0].contains(QStringLiteral("2000")));

    CCalibrationSnapshot foreign = backup;
    foreign.m_meter = Meter("SN99999");
    const CalibrationRestorePlan other = PlanRestore(now, foreign);
    EXPECT_FALSE(other.HasWrites());
    EXPECT_TRUE(other.points.empty());
}
