#include "CSupportBundle.h"

#include "CTtyBridgeLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <list>

namespace {

const QByteArray kRemoved = QByteArrayLiteral("(삭제됨)");
const qint64 kMaxSettingsBytes = 4 << 20;

QString Joined(const QString& root, const QString& path)
{
    QString base = root;
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return base == QLatin1String("/") ? path : base + path;
}

// Owns the zip while it is written; discards it unless committed.
class CZipWriter {
public:
    explicit CZipWriter(const QString& path)
    {
        int error = 0;
        m_pZip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    }
    ~CZipWriter()
    {
        if (m_pZip)
            zip_discard(m_pZip);
    }
    bool IsOpen() const { return m_pZip != nullptr; }

    bool AddData(const QString& name, const QByteArray& data)
    {
        m_buffers.push_back(data);   // libzip reads the buffer at close
        zip_source_t* source = zip_source_buffer(m_pZip, m_buffers.back().constData(),
                                                 zip_uint64_t(m_buffers.back().size()), 0);
        return Add(name, source);
    }
    bool AddFile(const QString& name, const QString& path)
    {
        return Add(name, zip_source_file(m_pZip, QFile::encodeName(path).constData(), 0, -1));
    }
    bool Close(QString* reason)
    {
        if (zip_close(m_pZip) != 0) {
            *reason = QString::fromLocal8Bit(zip_strerror(m_pZip));
            return false;
        }
        m_pZip = nullptr;
        return true;
    }
    QString Error() const { return m_pZip ? QString::fromLocal8Bit(zip_strerror(m_pZip)) : QString(); }

private:
    bool Add(const QString& name, zip_source_t* source)
    {
        if (!source)
            return false;
        if (zip_file_add(m_pZip, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            return false;
        }
        return true;
    }

    zip_t* m_pZip = nullptr;
    std::list<QByteArray> m_buffers;
};

} // namespace

CSupportBundle::CSupportBundle(SupportBundleInput input)
    : m_input(std::move(input))
{
}

QByteArray CSupportBundle::SettingsWithoutPassword(const QByteArray& ini)
{
    QList<QByteArray> lines = ini.split('\n');
    bool inAdmin = false;
    for (QByteArray& line : lines) {
        const QByteArray text = line.trimmed();
        if (text.startsWith('[')) {
            const int end = text.indexOf(']');
            inAdmin = end > 0 && text.mid(1, end - 1).trimmed().toUpper() == "ADMIN";
            continue;
        }
        const int equals = line.indexOf('=');
        const bool isPassword = inAdmin && equals > 0 && line.left(equals).trimmed().toUpper() == "PASSWORD";
        // A hash copied anywhere else in the file goes too.
        if (isPassword || line.contains("pbkdf2")) {
            const bool cr = line.endsWith('\r');
            line = equals > 0 ? line.left(equals + 1) + kRemoved : kRemoved;
            if (cr)
                line += '\r';
        }
    }
    return lines.join('\n');
}

QStringList CSupportBundle::Ft260Devices(const QString& root)
{
    QStringList lines;
    const QString hidDir = Joined(root, QStringLiteral("/sys/bus/hid/devices"));
    const QStringList hid = QDir(hidDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString& name : hid) {
        if (!name.contains(QLatin1String(":0403:6030."), Qt::CaseInsensitive))
            continue;
        const QString dir = hidDir + '/' + name;
        const QString driverLink = QFileInfo(dir + QStringLiteral("/driver")).symLinkTarget();
        const QString driver = driverLink.isEmpty() ? QStringLiteral("(없음)") : QFileInfo(driverLink).fileName();
        const QStringList nodes = QDir(dir + QStringLiteral("/hidraw"))
                                      .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
        lines << QStringLiteral("HID %1  드라이버: %2  hidraw: %3")
                     .arg(name, driver, nodes.isEmpty() ? QStringLiteral("(없음)") : nodes.join(QStringLiteral(", ")));
    }
    CTtyBridgeLibrary ttys(Joined(root, QStringLiteral("/sys")).toStdString(),
                           Joined(root, QStringLiteral("/dev")).toStdString());
    const QString devPrefix = Joined(root, QStringLiteral("/dev"));
    for (const HidInterfaceInfo& info : ttys.EnumerateHidInterfaces()) {
        QString path = QString::fromStdString(info.path);
        if (path.startsWith(devPrefix))
            path = QStringLiteral("/dev") + path.mid(devPrefix.size());
        lines << QStringLiteral("TTY %1").arg(path);
    }
    if (lines.isEmpty())
        lines << QStringLiteral("FT260 장치(0403:6030)가 보이지 않습니다.");
    return lines;
}

QStringList CSupportBundle::RecentLogs(const QString& logDir, const QDateTime& now, int hours)
{
    static const QRegularExpression dayName(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    static const QRegularExpression fileName(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}_\\d{2})_LOG\\.log$"));
    const qint64 end = now.toSecsSinceEpoch();
    const qint64 start = end - qint64(hours) * 3600;
    QStringList logs;
    const QDir root(logDir);
    for (const QString& day : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!dayName.match(day).hasMatch())
            continue;
        const QDir dayDir(root.filePath(day));
        for (const QString& name : dayDir.entryList(QDir::Files, QDir::Name)) {
            const QRegularExpressionMatch match = fileName.match(name);
            if (!match.hasMatch() || !name.startsWith(day))
                continue;
            const QDateTime hour = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd_HH"));
            if (!hour.isValid())
                continue;
            // The file covers one hour; it is wanted when that hour overlaps
            // the window.
            const qint64 from = hour.toSecsSinceEpoch();
            if (from + 3600 > start && from <= end)
                logs << dayDir.filePath(name);
        }
    }
    return logs;
}

bool CSupportBundle::Write(const QString& path, QString* error)
{
    m_entries.clear();
    const QDateTime now = m_input.dtNow.isValid() ? m_input.dtNow : QDateTime::currentDateTime();
    QStringList notes;

    const QString partPath = path + QStringLiteral(".part");
    QFile::remove(partPath);
    CZipWriter zip(partPath);
    auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("지원 파일을 만들지 못했습니다 (%1): %2").arg(path, reason);
        return false;
    };
    if (!zip.IsOpen())
        return fail(QStringLiteral("파일을 만들 수 없습니다."));

    QStringList entries;
    auto addData = [&](const QString& name, const QByteArray& data) {
        if (!zip.AddData(name, data))
            return false;
        entries << name;
        return true;
    };

    // devices.txt
    if (!addData(QStringLiteral("devices.txt"), Ft260Devices(m_input.strRoot).join('\n').toUtf8() + '\n'))
        return fail(zip.Error());

    // The settings file, without the password's hash.
    QFile ini(m_input.strIniPath);
    if (!m_input.strIniPath.isEmpty() && ini.exists()) {
        if (QFileInfo(ini).isFile() && ini.size() <= kMaxSettingsBytes && ini.open(QIODevice::ReadOnly)) {
            if (!addData(QFileInfo(m_input.strIniPath).fileName(), SettingsWithoutPassword(ini.readAll())))
                return fail(zip.Error());
        } else {
            notes << QStringLiteral("설정 파일을 읽지 못했습니다: %1").arg(m_input.strIniPath);
        }
    } else {
        notes << QStringLiteral("설정 파일 없음");
    }

    // Packet logs of the last hours.
    const QStringList logs = RecentLogs(m_input.strLogDir, now, m_input.nLogHours);
    for (const QString& log : logs) {
        const QFileInfo info(log);
        const QString name = QStringLiteral("Log/%1/%2").arg(info.dir().dirName(), info.fileName());
        if (!zip.AddFile(name, log))
            return fail(zip.Error());
        entries << name;
    }

    // The newest crash records; their names sort by time.
    QStringList dumps = QDir(m_input.strDumpDir).entryList({QStringLiteral("*.dmp")}, QDir::Files, QDir::Name);
    std::reverse(dumps.begin(), dumps.end());
    int dumpCount = 0;
    for (const QString& dump : dumps) {
        if (dumpCount >= m_input.nNewestDumps)
            break;
        const QString full = QDir(m_input.strDumpDir).filePath(dump);
        if (QFileInfo(full).size() > kMaxDumpBytes) {
            notes << QStringLiteral("크래시 기록이 너무 커서 넣지 않았습니다: %1").arg(dump);
            continue;
        }
        if (!zip.AddFile(QStringLiteral("Dmp/") + dump, full))
            return fail(zip.Error());
        entries << QStringLiteral("Dmp/") + dump;
        ++dumpCount;
    }

    // about.txt last, so that it can say what went in.
    QStringList about;
    about << QStringLiteral("Brevane 지원 파일");
    about << QStringLiteral("작성 시각: %1").arg(now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    about << QStringLiteral("프로그램 버전: %1").arg(m_input.strProgramVersion);
    const SnapshotMeter& meter = m_input.meter;
    if (meter.strName.isEmpty() && meter.strSerial.isEmpty() && meter.strVersion.isEmpty())
        about << QStringLiteral("계측기: 장비 조회 기록 없음");
    else
        about << QStringLiteral("계측기: 측정기 명 %1, 측정기 S/N %2, 버전 정보 %3")
                     .arg(meter.strName, meter.strSerial, meter.strVersion);
    QStringList counts;
    for (const auto& count : m_input.archiveCounts)
        counts << count.first + ' ' + count.second;
    about << QStringLiteral("기록 보관함: %1").arg(counts.isEmpty() ? QStringLiteral("-") : counts.join(QStringLiteral(", ")));
    about << QStringLiteral("패킷 로그: 최근 %1시간, %2개").arg(m_input.nLogHours).arg(logs.size());
    about << QStringLiteral("크래시 기록: 최근 %1개").arg(dumpCount);
    about << notes;
    if (!addData(QStringLiteral("about.txt"), about.join('\n').toUtf8() + '\n'))
        return fail(zip.Error());

    QString reason;
    if (!zip.Close(&reason)) {
        QFile::remove(partPath);
        return fail(reason);
    }
    // rename() replaces an older file of that name in one step.
    if (std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(partPath);
        return fail(QStringLiteral("이름을 바꾸지 못했습니다."));
    }
    m_entries = entries;
    return true;
}
