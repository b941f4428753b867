#pragma once
// A workbook as an independent reader (xlrd under /usr/bin/python3) sees
// it: dump_xls.py prints it as JSON and this wraps the answer. Rows and
// columns count from 1 here, as in the grids.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class CXlsDump {
public:
    // Reads path; Ok() is false (and Error() says why) when the reader
    // failed or complained.
    explicit CXlsDump(const QString& path);

    bool Ok() const { return m_strError.isEmpty(); }
    const QString& Error() const { return m_strError; }

    QString SheetName() const { return m_json.value(QStringLiteral("sheet")).toString(); }
    int Sheets() const { return m_json.value(QStringLiteral("sheets")).toInt(); }
    int Rows() const { return m_json.value(QStringLiteral("nrows")).toInt(); }
    int Columns() const { return m_json.value(QStringLiteral("ncols")).toInt(); }

    // The cell's text; a number cell reads "#number" so that a test sees it.
    QString Text(int col, int row) const;
    // The look of the cell; an empty object outside the sheet.
    QJsonObject Format(int col, int row) const;
    // Inclusive, 1-based: "r1-r2:c1-c2".
    QStringList Merges() const;
    double Width(int col) const;    // characters; 0 when the file sets none
    double Height(int row) const;   // points; 0 when the file sets none

private:
    QJsonObject m_json;
    QString m_strError;
};

// "#rrggbb" of a reader colour ([r, g, b]) or "auto".
QString ColourName(const QJsonValue& rgb);
