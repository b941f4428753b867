#pragma once
// The two SQL dialects the archive's tables are made in: the station's own
// SQLite file and the lab's PostgreSQL server. The schema steps are written
// once, in SQLite's words; on the server a few of them read differently.

#include <QString>

class QSqlDatabase;

enum class ESqlDialect { Sqlite, Postgres };

namespace SqlDialect {

ESqlDialect Of(const QSqlDatabase& db);

// A schema statement as the dialect says it. On PostgreSQL a row id
// ("id INTEGER PRIMARY KEY", SQLite's row id) becomes an identity column and
// every other INTEGER a 64-bit one (stored times need 47 bits), REAL a
// double as in SQLite; everything else is common to both.
QString Adapt(const QString& sql, ESqlDialect dialect);

}  // namespace SqlDialect
