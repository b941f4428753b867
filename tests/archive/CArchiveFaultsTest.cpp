// The archive file when things go wrong: an old schema, a damaged or foreign
// file, a newer program's file, a full disk, a file this user cannot write.

#include "ArchiveTestSupport.h"
#include "CArchiveSink.h"
#include "CSqliteArchive.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs a script of statements on a plain SQLite connection, the way another
// program (or an older one) would have written the file.
void RunScript(const std::string& path, const QString& script)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "script");
        db.setDatabaseName(QString::fromStdString(path));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (QString statement : script.split(';')) {
            QStringList lines;
            for (const QString& line : statement.split('\n')) {
                if (!line.trimmed().startsWith("--"))
                    lines << line;
            }
            statement = lines.join('\n').trimmed();
            if (!statement.isEmpty()) {
                ASSERT_TRUE(q.exec(statement)) << q.lastError().text().toStdString();
            }
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("script");
}

// An archive file holding one download of `records` stored records.
bool MakeArchiveFile(const std::string& path, int records)
{
    CSqliteArchive archive;
    if (archive.Open(path) != EArchiveOpen::Created)
        return false;
    CArchiveSink sink(archive);
    return FeedDownload(sink, TestMeter(), EDownloadKind::Memory,
                        ToDownloaded(MakeSimRecords(records, 0).stored)).strError.empty();
}

QString Schema1Script()
{
    QFile f(BREVANE_ARCHIVE_SCHEMA1);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(ArchiveFaults, FirstSchemaIsMigratedWithItsRecordsKept)
{
    CArchiveTestFolder folder;
    const std::string path = folder / "archive.sqlite";
    RunScript(path, Schema1Script());

    CSqliteArchive archive;
    ASSERT_EQ(archive.Open(path), EArchiveOpen::Migrated) << archive.OpenMessage();
    EXPECT_FALSE(archive.StationId().empty());
    ArchiveMeter meter;
    ASSERT_TRUE(archive.FindMeter(TestMeter(), &meter));
    ASSERT_EQ(archive.Records(meter.nId).size(), 2u);
    const std::vector<ArchiveDownload> downloads = archive.Downloads(meter.nId);
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_TRUE(downloads[0].bComplete);
    EXPECT_EQ(downloads[0].strStation, archive.StationId());

    // The old records take part in the duplicate check like any other.
    CArchiveSink sink(archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory,
                 ToDownloaded({SimRec(2025, 12, 1, 9, 30, 0, 1234, 1), SimRec(2025, 12, 4, 8, 0, 0)}));
    ArchiveDownload d;
    ASSERT_TRUE(sink.LastDownload(&d));
    EXPECT_EQ(d.nKnown, 1);
    EXPECT_EQ(d.nNew, 1);
    archive.Close();

    // Opened again, it is simply the current schema.
    EXPECT_EQ(archive.Open(path), EArchiveOpen::Ok);
}

TEST(ArchiveFaults, DamagedOrForeignFileIsSetAsideAndAFreshArchiveStarts)
{
    CArchiveTestFolder folder;
    const std::string path = folder / "archive.sqlite";
    const std::string garbage(4096, '\x5A');
    WriteBytes(path, garbage);
    CSqliteArchive archive;
    ASSERT_EQ(archive.Open(path), EArchiveOpen::SetAside);
    EXPECT_NE(archive.OpenMessage().find(archive.SetAsidePath()), std::string::npos);
    EXPECT_EQ(ReadBytes(archive.SetAsidePath()), garbage);
    CArchiveSink sink(archive);
    EXPECT_TRUE(FeedDownload(sink, TestMeter(), EDownloadKind::Memory,
                             ToDownloaded(MakeSimRecords(10, 0).stored)).strError.empty());
    archive.Close();

    // Another program's database in its place is not ours to migrate.
    RunScript(path + ".other", "CREATE TABLE contacts (name TEXT); INSERT INTO contacts VALUES ('x')");
    ASSERT_EQ(std::rename((path + ".other").c_str(), path.c_str()), 0);
    ASSERT_EQ(archive.Open(path), EArchiveOpen::SetAside);
    RunScript(archive.SetAsidePath(), "SELECT name FROM contacts");

    // The download sink's own connection never renames anything.
    archive.Close();
    WriteBytes(path, garbage);
    CArchiveSink later(path);
    const FedDownload fed = FeedDownload(later, TestMeter(), EDownloadKind::Memory,
                                         ToDownloaded(MakeSimRecords(3, 0).stored));
    EXPECT_FALSE(fed.bBegun);
    EXPECT_NE(fed.strError.find("손상"), std::string::npos);
    EXPECT_EQ(ReadBytes(path), garbage);
}

TEST(ArchiveFaults, NewerSchemaIsRefusedAndLeftUntouched)
{
    CArchiveTestFolder folder;
    const std::string path = folder / "archive.sqlite";
    ASSERT_TRUE(MakeArchiveFile(path, 10));
    RunScript(path, "PRAGMA journal_mode = DELETE; PRAGMA user_version = 9");
    const std::string before = ReadBytes(path);

    CSqliteArchive archive;
    EXPECT_EQ(archive.Open(path), EArchiveOpen::TooNew);
    EXPECT_FALSE(archive.IsOpen());
    EXPECT_NE(archive.OpenMessage().find("형식 9"), std::string::npos);
    std::string error;
    EXPECT_EQ(archive.BeginDownload(TestMeter(), DownloadRequest(), &error), 0);
    EXPECT_FALSE(error.empty());
    archive.Close();
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
}

TEST(ArchiveFaults, FullDiskRefusesTheBatchWholeAndTheDownloadIsNotComplete)
{
    CArchiveTestFolder folder;
    CSqliteArchive archive;
    ASSERT_EQ(archive.Open(folder / "archive.sqlite"), EArchiveOpen::Created);
    CArchiveSink sink(archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(MakeSimRecords(100, 0, 3).stored));

    // The file may grow by a few pages only: a small disk, nearly full.
    QSqlQuery q(archive.Database());
    ASSERT_TRUE(q.exec("PRAGMA page_count") && q.next());
    const int pages = q.value(0).toInt();
    ASSERT_TRUE(q.exec(QString("PRAGMA max_page_count = %1").arg(pages + 6)));
    q.finish();

    const std::vector<DownloadedRecord> many = ToDownloaded(MakeSimRecords(5000, 0, 4).stored);
    const FedDownload fed = FeedDownload(sink, TestMeter(), EDownloadKind::Memory, many);
    EXPECT_TRUE(fed.bBegun);
    EXPECT_GT(fed.nBatchesKept, 0);
    EXPECT_GT(fed.nBatchesRefused, 0);
    EXPECT_NE(fed.strError.find("디스크 공간이 부족"), std::string::npos) << fed.strError;
    EXPECT_EQ(sink.LastError(), fed.strError);

    ArchiveDownload d;
    ASSERT_TRUE(sink.LastDownload(&d));
    EXPECT_FALSE(d.bComplete);
    // Only whole batches were kept, and the counts say exactly what.
    ArchiveMeter meter;
    ASSERT_TRUE(archive.FindMeter(TestMeter(), &meter));
    EXPECT_EQ(d.nReceived, fed.nBatchesKept * kSessionBatch);
    EXPECT_EQ(int64_t(archive.Records(meter.nId).size()), 100 + d.nNew);
    EXPECT_EQ(d.nNew + d.nKnown, d.nReceived);
}

// The read-only case needs a user the file refuses; root writes anything,
// so a child process gives up root first.
int OpenAsOtherUser(const std::string& path, const std::function<int()>& check)
{
    if (geteuid() != 0) {
        chmod(path.c_str(), 0444);
        return check();
    }
    const passwd* nobody = getpwnam("nobody");
    if (!nobody)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(90);
        _exit(check());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST(ArchiveFaults, FileThatCannotBeWrittenOpensReadOnly)
{
    CArchiveTestFolder folder;
    const std::string path = folder / "archive.sqlite";
    ASSERT_TRUE(MakeArchiveFile(path, 30));
    const std::string before = ReadBytes(path);
    chmod(folder.Path().c_str(), 0755);
    chmod(path.c_str(), 0644);

    const int code = OpenAsOtherUser(path, [&] {
        CSqliteArchive archive;
        if (archive.Open(path) != EArchiveOpen::ReadOnly || !archive.IsReadOnly())
            return 1;
        if (archive.OpenMessage().find("읽기 전용") == std::string::npos)
            return 2;
        ArchiveMeter meter;
        if (!archive.FindMeter(TestMeter(), &meter) || archive.Records(meter.nId).size() != 30)
            return 3;
        CArchiveSink sink(archive);
        const FedDownload fed = FeedDownload(sink, TestMeter(), EDownloadKind::Memory,
                                             ToDownloaded(MakeSimRecords(3, 0, 9).stored));
        if (fed.bBegun || fed.strError.find("읽기 전용") == std::string::npos)
            return 4;
        std::string error;
        if (archive.Backup(folder / "copy.sqlite", &error))
            return 5;   // the folder is not this user's
        return 0;
    });
    ASSERT_NE(code, -1) << "no unprivileged user on this machine";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(path), before);
}

}  // namespace
