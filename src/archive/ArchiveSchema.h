#pragma once
// The archive's tables and their forward migrations. A file carries its
// schema version in SQLite's user_version and this program's mark in
// application_id; a fresh archive is made by running every step from 1, so
// the steps an old file takes are the ones every new file took too.
//
// Later steps append here (calibration snapshots, clock readings, firmware
// history, tolerance limits per meter): each is one function that runs inside
// the migration's transaction and never rewrites what earlier steps made.

#include <QString>

class QSqlDatabase;

namespace ArchiveSchema {

constexpr int kVersion = 4;
// "BRVA": tells our files from other SQLite databases.
constexpr int kApplicationId = 0x42525641;

// Runs the steps after fromVersion up to kVersion in one transaction and
// sets user_version. False (nothing changed) with *error on failure.
//
// The same steps make the lab's PostgreSQL server (SqlDialect adapts the
// few words that differ). There the version is kept in the one-row table
// schema_version, and the migration holds a lock and reads the version
// again itself, so that stations meeting a fresh server together make its
// tables once; a newer server is refused there too.
bool Migrate(QSqlDatabase& db, int fromVersion, QString* error);

// PostgreSQL: the version in schema_version, 0 when the database has no
// archive yet, -1 (with *error) when it cannot be read.
int ServerVersion(QSqlDatabase& db, QString* error);

}  // namespace ArchiveSchema
