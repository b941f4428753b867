#include "CCalibrationGuard.h"

#include "CCalibrationHistory.h"
#include "CSqliteArchive.h"
#include "CalibrationChanges.h"
#include "CMeterSession.h"
#include "CUiPrompts.h"
#include "ILinkClock.h"
#include "MeterRecords.h"

#include <QDateTime>
#include <QDir>
#include <QTimer>
#include <QWidget>

namespace {

const QString kCaption = QStringLiteral("보정");
const QString kFileFilter = QStringLiteral("보정값 백업 파일 (*.json)|*.json;| All Files(*.*)|*.*||");

// A job that finds the session busy (the automatic reading's tick) tries
// again this often, this long.
constexpr int kRetryMs = 50;
constexpr int kRetryLimitMs = 10000;

DownloadMeter MeterOf(const SnapshotMeter& meter)
{
    return {meter.strName.toStdString(), meter.strSerial.toStdString(), meter.strVersion.toStdString()};
}

// Starts the job when the session is free; a job that cannot start within
// the limit is reported and not sent.
void StartWhenFree(QWidget* window, CMeterSession* session, std::vector<SessionStep> steps,
                   CMeterSession::Done done, int attempt = 0)
{
    if (!session)
        return;
    if (session->StartExchange(steps, false, window, done))
        return;
    if (attempt * kRetryMs >= kRetryLimitMs) {
        CUiPrompts::ShowWarning(window, QStringLiteral("장비가 다른 작업 중이어서 실행하지 못했습니다."), kCaption);
        return;
    }
    QTimer::singleShot(kRetryMs, window, [window, session, steps, done, attempt] {
        StartWhenFree(window, session, steps, done, attempt + 1);
    });
}

}  // namespace

struct RestoreRun {
    CalibrationRestorePlan plan;
    size_t nNext = 0;
    QStringList written;
    std::shared_ptr<void> hold;
};

CCalibrationGuard::CCalibrationGuard(QWidget* window, ILinkClock& clock, MeterSource meter,
                                     ClockSource meterClock)
    : m_pWindow(window), m_clock(clock), m_fnMeter(std::move(meter)), m_fnMeterClock(std::move(meterClock))
{
}

bool CCalibrationGuard::KeepsSnapshots() const
{
    return m_pArchive && m_pArchive->IsOpen();
}

const char* CCalibrationGuard::ReasonKey(ESnapshotReason reason)
{
    switch (reason) {
    case ESnapshotReason::AsFound:
        return "as-found";
    case ESnapshotReason::AsLeft:
        return "as-left";
    case ESnapshotReason::BeforeFirmware:
        return "before-firmware";
    case ESnapshotReason::Backup:
        break;
    }
    return "backup";
}

std::vector<SessionStep> CCalibrationGuard::ReadAllSteps()
{
    std::vector<SessionStep> steps;
    for (LoadCellSize size : {LOADCELL_7T, LOADCELL_15T, LOADCELL_30T})
        steps.push_back({MakeCalibrationReadRequest(size), false});
    return steps;
}

std::vector<SessionStep> CCalibrationGuard::WrapWrite(const MeterRequest& write) const
{
    if (!KeepsSnapshots())
        return {{write, true}};
    // Every step is sent whatever the one before gave: a write that timed
    // out may still have reached the meter, and the reads after it tell.
    std::vector<SessionStep> steps = ReadAllSteps();
    steps.push_back({write, false});
    for (const SessionStep& read : ReadAllSteps())
        steps.push_back(read);
    return steps;
}

CCalibrationSnapshot CCalibrationGuard::FromSteps(const std::vector<SessionStepResult>& steps, size_t first,
                                                  ESnapshotReason reason) const
{
    CCalibrationSnapshot snapshot;
    snapshot.m_meter = m_fnMeter();
    snapshot.m_strMeterClock = m_fnMeterClock();
    snapshot.m_dtPc = QDateTime::fromSecsSinceEpoch(m_clock.NowSeconds());
    snapshot.m_strUser = m_strUser;
    snapshot.m_eReason = reason;
    for (size_t i = first; i < steps.size() && i < first + 3; ++i) {
        const SessionStepResult& step = steps[i];
        if (step.nResult < 0)
            continue;
        for (LoadCellSize size : {LOADCELL_7T, LOADCELL_15T, LOADCELL_30T})
            if (MakeCalibrationReadRequest(size).nCommand == step.nCommand)
                snapshot.SetRecord(size, step.reply);
    }
    return snapshot;
}

int64_t CCalibrationGuard::Keep(const CCalibrationSnapshot& snapshot, QString* error)
{
    if (!KeepsSnapshots()) {
        if (error)
            *error = QStringLiteral("보관함이 열려 있지 않습니다.");
        return 0;
    }
    StoredSnapshot row;
    row.meter = MeterOf(snapshot.m_meter);
    row.tTaken = snapshot.m_dtPc.toSecsSinceEpoch();
    row.strReason = ReasonKey(snapshot.m_eReason);
    row.strUser = snapshot.m_strUser.toStdString();
    row.content = snapshot.ToJson();
    std::string why;
    const int64_t id = CCalibrationHistory(*m_pArchive).AddSnapshot(row, &why);
    if (!id && error)
        *error = QString::fromStdString(why);
    return id;
}

bool CCalibrationGuard::KeepAround(const SessionResult& r, QString* error)
{
    if (!KeepsSnapshots())
        return true;
    const size_t write = size_t(WriteIndex());
    return Keep(FromSteps(r.steps, 0, ESnapshotReason::AsFound), error) &&
           Keep(FromSteps(r.steps, write + 1, ESnapshotReason::AsLeft), error);
}

void CCalibrationGuard::Warn(const QString& text) const
{
    CUiPrompts::ShowWarning(m_pWindow, text, kCaption);
}

void CCalibrationGuard::ReadAll(std::function<void(const CCalibrationSnapshot&, const SessionResult&)> done)
{
    StartWhenFree(m_pWindow, m_pSession, ReadAllSteps(), [this, done](const SessionResult& r) {
        done(FromSteps(r.steps, 0, ESnapshotReason::Backup), r);
    });
}

void CCalibrationGuard::Backup(std::shared_ptr<void> hold)
{
    const SnapshotMeter meter = m_fnMeter();
    if (meter.strName.trimmed().isEmpty() && !meter.HasSerial()) {
        Warn(QStringLiteral("장비 조회 후 백업하십시오."));
        return;
    }
    ReadAll([this, hold](const CCalibrationSnapshot& snapshot, const SessionResult& r) {
        bool any = false;
        for (LoadCellSize size : {LOADCELL_7T, LOADCELL_15T, LOADCELL_30T})
            any = any || snapshot.HasRecord(size);
        if (!any) {
            Warn(QStringLiteral("보정값을 읽지 못했습니다.\n%1")
                     .arg(CUiPrompts::LinkFailureText(r.nResult, QString::fromStdString(r.strError))));
            return;
        }
        QString kept;
        if (KeepsSnapshots() && !Keep(snapshot, &kept))
            Warn(QStringLiteral("보관함에 보정 이력을 저장하지 못했습니다: %1").arg(kept));
        const QString path = CUiPrompts::ChooseSaveFile(m_pWindow, QStringLiteral("보정값 백업"), kFileFilter,
                                                        QDir::home().filePath(snapshot.SuggestedFileName()));
        if (path.isEmpty())
            return;
        QString error;
        if (!snapshot.Save(path, &error))
            Warn(error);
        else
            CUiPrompts::ShowInfo(m_pWindow, QStringLiteral("보정값을 백업했습니다.\n%1").arg(path), kCaption);
    });
}

void CCalibrationGuard::LoadAndRestore(std::shared_ptr<void> hold)
{
    const QString path = CUiPrompts::ChooseOpenFile(m_pWindow, QStringLiteral("보정값 불러오기"), kFileFilter);
    if (path.isEmpty())
        return;
    CCalibrationSnapshot backup;
    QString error;
    if (!CCalibrationSnapshot::Load(path, m_fnMeter(), &backup, &error)) {
        Warn(error);
        return;
    }
    Restore(backup, hold);
}

void CCalibrationGuard::Restore(const CCalibrationSnapshot& target, std::shared_ptr<void> hold)
{
    if (!target.m_meter.IsSameMeter(m_fnMeter())) {
        Warn(QStringLiteral("다른 계측기의 보정값입니다. 보정값: %1, 연결된 계측기: %2")
                 .arg(target.m_meter.Text(), m_fnMeter().Text()));
        return;
    }
    ReadAll([this, target, hold](const CCalibrationSnapshot& found, const SessionResult&) {
        auto run = std::make_shared<RestoreRun>();
        run->plan = PlanRestore(found, target);
        run->hold = hold;
        if (!run->plan.HasWrites()) {
            CUiPrompts::ShowInfo(m_pWindow, run->plan.Text(), kCaption);
            return;
        }
        if (!CUiPrompts::AskYesNo(m_pWindow, run->plan.Text() + QStringLiteral("\n\n복원하시겠습니까?"),
                                  QStringLiteral("설정")))
            return;
        CCalibrationSnapshot asFound = found;
        asFound.m_eReason = ESnapshotReason::AsFound;
        QString kept;
        if (KeepsSnapshots() && !Keep(asFound, &kept))
            Warn(QStringLiteral("보관함에 보정 이력을 저장하지 못했습니다: %1").arg(kept));
        WriteNext(run);
    });
}

void CCalibrationGuard::WriteNext(std::shared_ptr<RestoreRun> run)
{
    if (run->nNext >= run->plan.corrections.size()) {
        FinishRestore(run, QString());
        return;
    }
    const CorrectionWrite& write = run->plan.corrections[run->nNext];
    // Each write is read back before the next is sent, so that a meter that
    // took something else stops the restore where it happened.
    std::vector<SessionStep> steps = {{write.request, true}, {MakeCalibrationReadRequest(write.eSize), true}};
    StartWhenFree(m_pWindow, m_pSession, steps, [this, run](const SessionResult& r) {
        const CorrectionWrite& write = run->plan.corrections[run->nNext];
        QString failure;
        if (r.steps.empty() || r.steps[0].nResult < 0) {
            failure = QStringLiteral("%1\n계측기가 쓰기를 받지 않았습니다: %2")
                          .arg(write.Text(), CUiPrompts::LinkFailureText(r.nResult, QString::fromStdString(r.strError)));
        } else if (r.steps.size() < 2 || r.steps[1].nResult < 0) {
            failure = QStringLiteral("%1\n쓴 뒤 다시 읽지 못했습니다: %2")
                          .arg(write.Text(), CUiPrompts::LinkFailureText(r.nResult, QString::fromStdString(r.strError)));
        } else {
            const int readBack = DecodeCalibrationRecord(r.steps[1].reply).nCorrections[write.nCorrection];
            if (readBack != write.nNew)
                failure = QStringLiteral("%1\n다시 읽은 값이 %2입니다.").arg(write.Text()).arg(readBack);
        }
        if (!failure.isEmpty()) {
            FinishRestore(run, failure);
            return;
        }
        run->written << write.Text();
        ++run->nNext;
        WriteNext(run);
    });
}

void CCalibrationGuard::FinishRestore(std::shared_ptr<RestoreRun> run, const QString& failure)
{
    const QString written = run->written.isEmpty() ? QStringLiteral("  (없음)")
                                                   : QStringLiteral("  ") + run->written.join(QStringLiteral("\n  "));
    if (failure.isEmpty()) {
        QString text = QStringLiteral("보정 값을 복원했습니다:\n%1").arg(written);
        if (!run->plan.points.empty())
            text += QStringLiteral("\n\n보정 점은 값으로 쓸 수 없어 바뀌지 않았습니다. 해당 하중을 걸고 다시 설정하십시오.");
        CUiPrompts::ShowInfo(m_pWindow, text, kCaption);
    } else {
        Warn(QStringLiteral("복원을 멈췄습니다. 실패한 보정 값:\n%1\n\n복원된 보정 값:\n%2").arg(failure, written));
    }
    if (!KeepsSnapshots() || run->written.isEmpty())
        return;
    ReadAll([this, run](const CCalibrationSnapshot& snapshot, const SessionResult&) {
        CCalibrationSnapshot asLeft = snapshot;
        asLeft.m_eReason = ESnapshotReason::AsLeft;
        QString kept;
        if (!Keep(asLeft, &kept))
            Warn(QStringLiteral("보관함에 보정 이력을 저장하지 못했습니다: %1").arg(kept));
    });
}
