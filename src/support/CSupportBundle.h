#pragma once
// The support file: one .zip a user sends with a problem report. It holds
//
//   about.txt      program version, time written, the meter of the last
//                  device search, the archive's counts (never its records),
//                  what was left out
//   devices.txt    the FT260 bridges the system sees: HID devices 0403:6030
//                  with their driver and hidraw nodes, and bridge ttys
//   <name>.ini     the settings file, the administrator password's hash
//                  replaced by "(삭제됨)"
//   Log/<day>/...  the packet logs of the last 24 hours
//   Dmp/...        the newest crash records
//
// The zip is written beside its final name and renamed onto it only when
// whole, so a failed write never leaves a half file under that name.

#include "CCalibrationSnapshot.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct SupportBundleInput {
    QString strLogDir;           // CIniSysInfo::m_szLogDir
    QString strDumpDir;          // CIniSysInfo::m_szDumpDir
    QString strIniPath;          // CIniSysInfo::m_szIniPath
    QString strProgramVersion;
    SnapshotMeter meter;         // the last device search; empty when there was none
    QList<QPair<QString, QString>> archiveCounts;   // ("계측기", "3"), ("기록", "1520") ...
    QString strRoot = QStringLiteral("/");   // sysfs is <root>/sys, device nodes <root>/dev
    QDateTime dtNow;             // the end of the log window; invalid: now
    int nLogHours = 24;
    int nNewestDumps = 3;
};

class CSupportBundle {
public:
    explicit CSupportBundle(SupportBundleInput input);

    // Writes the zip. False with a Korean reason; the file named path is
    // then untouched.
    bool Write(const QString& path, QString* error);
    // The entries of the last Write, in order.
    const QStringList& Entries() const { return m_entries; }

    // The settings file's text with every ADMIN / PASSWORD value, and any
    // line that carries a password hash, replaced.
    static QByteArray SettingsWithoutPassword(const QByteArray& ini);
    // The lines of devices.txt for a root folder.
    static QStringList Ft260Devices(const QString& root);
    // The log files (full paths) whose hour lies within the hours before
    // now, oldest first.
    static QStringList RecentLogs(const QString& logDir, const QDateTime& now, int hours);

    // Crash records bigger than this are named in about.txt, not copied.
    static constexpr qint64 kMaxDumpBytes = 32ll << 20;

private:
    SupportBundleInput m_input;
    QStringList m_entries;
};
