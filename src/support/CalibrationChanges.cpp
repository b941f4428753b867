#include "CalibrationChanges.h"

#include "CCalibrationFit.h"

namespace {

const QString kArrow = QStringLiteral(" → ");

QString SizeName(LoadCellSize size)
{
    return QString::fromStdString(CCalibrationFit::SizeName(size));
}

QString PointLabel(LoadCellSize size, int point)
{
    return QString::fromStdString(CCalibrationFit::PointLabel(size, point));
}

} // namespace

QString CalibrationChange::FieldText() const
{
    switch (eField) {
    case EField::Point:
        return QStringLiteral("보정 점");
    case EField::Correction:
        return QStringLiteral("보정 값");
    case EField::Record:
        return QStringLiteral("보정 기록");
    }
    return {};
}

QString CalibrationChange::Text() const
{
    const QString where = strLabel.isEmpty() ? SizeName(eSize) : SizeName(eSize) + ' ' + strLabel;
    return where + ' ' + FieldText() + QStringLiteral(": ") + strOld + kArrow + strNew;
}

std::vector<CalibrationChange> CompareSnapshots(const CCalibrationSnapshot& before,
                                                const CCalibrationSnapshot& after)
{
    std::vector<CalibrationChange> changes;
    for (int s = 0; s < CCalibrationSnapshot::SIZES; ++s) {
        const LoadCellSize size = LoadCellSize(s);
        if (!before.HasRecord(size) && !after.HasRecord(size))
            continue;
        if (!before.HasRecord(size) || !after.HasRecord(size)) {
            const QString read = QStringLiteral("읽음");
            const QString unread = QStringLiteral("(읽지 않음)");
            changes.push_back({size, CalibrationChange::EField::Record, 0, QString(),
                               before.HasRecord(size) ? read : unread, after.HasRecord(size) ? read : unread});
            continue;
        }
        const CalibrationRecord a = before.Record(size);
        const CalibrationRecord b = after.Record(size);
        for (int i = 0; i < CCalibrationFit::POINTS; ++i)
            if (a.nPoints[i] != b.nPoints[i])
                changes.push_back({size, CalibrationChange::EField::Point, i, PointLabel(size, i),
                                   QString::number(a.nPoints[i]), QString::number(b.nPoints[i])});
        for (int i = 0; i < CCalibrationFit::CORRECTIONS; ++i)
            if (a.nCorrections[i] != b.nCorrections[i])
                changes.push_back({size, CalibrationChange::EField::Correction, i, PointLabel(size, i + 1),
                                   QString::number(a.nCorrections[i]), QString::number(b.nCorrections[i])});
    }
    return changes;
}

QString CorrectionWrite::Text() const
{
    return QStringLiteral("%1 %2 (슬롯 %3): %4%5%6")
        .arg(SizeName(eSize), QString::fromStdString(CCalibrationFit::CorrectionLabel(eSize, nCorrection)))
        .arg(nSlot)
        .arg(nOld)
        .arg(kArrow)
        .arg(nNew);
}

QString PointDifference::Text() const
{
    return QStringLiteral("%1 %2 보정 점: %3%4%5")
        .arg(SizeName(eSize), PointLabel(eSize, nPoint))
        .arg(nOld)
        .arg(kArrow)
        .arg(nNew);
}

QString CalibrationRestorePlan::Text() const
{
    QStringList lines;
    if (corrections.empty()) {
        lines << QStringLiteral("되돌릴 보정 값이 없습니다.");
    } else {
        lines << QStringLiteral("다음 보정 값을 백업 값으로 씁니다:");
        for (const CorrectionWrite& write : corrections)
            lines << QStringLiteral("  ") + write.Text();
    }
    if (!points.empty()) {
        lines << QString();
        lines << QStringLiteral("다음 보정 점은 백업과 다르지만 값으로 쓸 수 없습니다. 계측기는 보정 점을 "
                                "'설정'을 누른 순간의 현재 하중 값으로 정하므로, 해당 하중을 걸고 다시 "
                                "설정해야 합니다:");
        for (const PointDifference& point : points)
            lines << QStringLiteral("  ") + point.Text();
    }
    if (!notes.isEmpty()) {
        lines << QString();
        for (const QString& note : notes)
            lines << note;
    }
    return lines.join('\n');
}

CalibrationRestorePlan PlanRestore(const CCalibrationSnapshot& current, const CCalibrationSnapshot& target)
{
    CalibrationRestorePlan plan;
    // Another meter's corrections are never planned, whoever built the pair.
    if (!current.m_meter.IsSameMeter(target.m_meter)) {
        plan.notes << QStringLiteral("다른 계측기의 보정값입니다. 백업: %1, 연결된 계측기: %2")
                          .arg(target.m_meter.Text(), current.m_meter.Text());
        return plan;
    }
    for (int s = 0; s < CCalibrationSnapshot::SIZES; ++s) {
        const LoadCellSize size = LoadCellSize(s);
        if (!target.HasRecord(size))
            continue;   // the backup holds nothing for this size
        if (!current.HasRecord(size)) {
            plan.notes << QStringLiteral("%1: 계측기의 현재 보정값을 읽지 못해 비교하지 않았습니다.").arg(SizeName(size));
            continue;
        }
        const CalibrationRecord now = current.Record(size);
        const CalibrationRecord want = target.Record(size);
        for (int i = 0; i < CCalibrationFit::POINTS; ++i)
            if (now.nPoints[i] != want.nPoints[i])
                plan.points.push_back({size, i, now.nPoints[i], want.nPoints[i]});
        for (int i = 0; i < CCalibrationFit::CORRECTIONS; ++i) {
            if (now.nCorrections[i] == want.nCorrections[i])
                continue;
            CorrectionWrite write;
            write.eSize = size;
            write.nCorrection = i;
            write.nSlot = CorrectionSlot(size, i);
            write.nOld = now.nCorrections[i];
            write.nNew = want.nCorrections[i];
            // A backup value the meter could not have held (outside
            // -1000..1000) is never sent.
            if (!MakeCorrectionRequest(size, i, write.nNew, &write.request)) {
                plan.notes << QStringLiteral("%1 %2: 백업 값 %3은 쓸 수 있는 범위(-1000 ~ 1000)를 벗어나 쓰지 않습니다.")
                                  .arg(SizeName(size),
                                       QString::fromStdString(CCalibrationFit::CorrectionLabel(size, i)))
                                  .arg(write.nNew);
                continue;
            }
            plan.corrections.push_back(write);
        }
    }
    return plan;
}
