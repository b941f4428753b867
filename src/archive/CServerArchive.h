#pragma once
// The lab's archive on a PostgreSQL server, reached through Qt's PostgreSQL
// driver: the same tables as a station's archive file (made and migrated by
// the program, a newer server refused untouched) plus what the server keeps
// about the stations that push to it (CArchiveSync).
//
// The setting ([ARCHIVE] SERVER) is a libpq connection string, a URI or a
// service name. The password comes from ~/.pgpass (PGPASSFILE) or the
// service file, libpq's own ways; a setting that carries one is refused, so
// that no password lies in the settings file. TLS options of the string are
// passed on as they stand.
//
// One object serves one thread, as the archive file's does.

#include "ArchiveTypes.h"

#include <QSqlDatabase>
#include <QString>

#include <string>
#include <vector>

class QSqlError;

enum class EServerOpen {
    Ok,
    BadSetting,     // the setting cannot be read, or carries a password
    Unreachable,    // no server answered (down, wrong host or port, network)
    WrongPassword,  // the server refused the password (or none was found)
    TooNew,         // the server's archive was made by a newer program: left alone
    Failed,         // anything else (no such database, no rights ...)
};

class CServerArchive {
public:
    // A meter of the lab view: which stations downloaded it, by name.
    struct LabMeter {
        ArchiveMeter meter;
        std::string strStations;
    };

    CServerArchive();
    ~CServerArchive();
    CServerArchive(const CServerArchive&) = delete;
    CServerArchive& operator=(const CServerArchive&) = delete;

    // Connects, then makes or migrates the server's tables. connectTimeout
    // bounds the wait for a server that does not answer, in seconds.
    EServerOpen Open(const std::string& setting, int connectTimeout = 5);
    void Close();
    bool IsOpen() const;
    // False with the user's text when the server's tables cannot be read or
    // were made by a newer program (*version > ArchiveSchema::kVersion);
    // checked again before every push, as another station's newer program
    // may move the server on while this one is connected.
    bool CheckVersion(int* version, std::string* message);
    // What the user is told about the last Open that failed.
    const std::string& OpenMessage() const { return m_strOpenMessage; }
    // The connection, for the record model and the sync (same thread only).
    QSqlDatabase Database() const;

    // ---- the lab view ----
    std::vector<LabMeter> Meters();
    // Newest first; strStation holds the station's name.
    std::vector<ArchiveDownload> Downloads(int64_t meterId);
    bool RecordDayRange(int64_t meterId, int* firstDay, int* lastDay);
    // A meter's records in stored-time order, as a station's archive gives them.
    std::vector<ArchiveRecord> Records(int64_t meterId);

    // The setting as options of the driver ("key='value' ..."): a service
    // name becomes service=..., a URI its keywords; a time-out is added when
    // the setting has none. False with the user's text when it cannot be used.
    static bool ConnectOptions(const std::string& setting, int connectTimeout, QString* options,
                               std::string* error);
    // The user's text for a failure on the server (full disk, a lost
    // connection, a refused password told apart).
    static std::string ErrorText(const QSqlError& error);
    // Whether a failed statement means the connection is gone.
    static bool ConnectionLost(const QSqlError& error);

private:
    EServerOpen Fail(EServerOpen result, const std::string& message);
    bool MakeStationTables(QString* error);

    QString m_strConnection;
    std::string m_strOpenMessage;
};
