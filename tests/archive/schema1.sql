-- The archive's first schema, as the first program that kept an archive made
-- it: opened by today's program, such a file is migrated forward.
CREATE TABLE meters (
 id INTEGER PRIMARY KEY,
 meter_key TEXT NOT NULL UNIQUE,
 serial TEXT NOT NULL,
 serial_unset INTEGER NOT NULL DEFAULT 0,
 name TEXT NOT NULL,
 version TEXT NOT NULL,
 first_seen INTEGER NOT NULL,
 last_seen INTEGER NOT NULL);
CREATE TABLE downloads (
 id INTEGER PRIMARY KEY,
 meter_id INTEGER NOT NULL REFERENCES meters(id),
 kind TEXT NOT NULL CHECK (kind IN ('MEMORY', 'OUTPUT')),
 started INTEGER NOT NULL,
 range_from INTEGER NOT NULL,
 range_to INTEGER NOT NULL,
 finished INTEGER,
 result INTEGER,
 received INTEGER NOT NULL DEFAULT 0,
 new_count INTEGER NOT NULL DEFAULT 0,
 known_count INTEGER NOT NULL DEFAULT 0,
 complete INTEGER NOT NULL DEFAULT 0);
CREATE INDEX downloads_meter ON downloads (meter_id, started);
CREATE TABLE records (
 id INTEGER PRIMARY KEY,
 meter_id INTEGER NOT NULL REFERENCES meters(id),
 stored_time INTEGER NOT NULL,
 source TEXT NOT NULL CHECK (source IN ('MEMORY', 'OUTPUT')),
 raw_force INTEGER NOT NULL,
 cell_type INTEGER NOT NULL,
 occurrence INTEGER NOT NULL,
 download_id INTEGER NOT NULL REFERENCES downloads(id),
 stream_index INTEGER NOT NULL);
CREATE UNIQUE INDEX records_key ON records
 (meter_id, stored_time, source, raw_force, cell_type, occurrence);
PRAGMA application_id = 1112692289;
PRAGMA user_version = 1;
-- One meter with one finished download of two stored records.
INSERT INTO meters VALUES (1, 'serial:SN250100042', 'SN250100042', 0, 'SIM-METER', '1.05',
                           1765000000, 1765000000);
INSERT INTO downloads VALUES (1, 1, 'MEMORY', 1765000000, 1764000000, 1765000000, 1765000030,
                              0, 2, 2, 0, 1);
INSERT INTO records VALUES (1, 1, 20251201093000, 'MEMORY', 1234, 1, 1, 1, 0);
INSERT INTO records VALUES (2, 1, 20251203101500, 'MEMORY', 980, 0, 1, 1, 1);
