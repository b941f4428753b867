#include "CXlsDump.h"

#include <QJsonDocument>
#include <QProcess>
#include <QStringList>

CXlsDump::CXlsDump(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(BREVANE_XLS_DUMP_SCRIPT), path});
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit) {
        m_strError = QStringLiteral("python3 did not finish: ") + python.errorString();
        return;
    }
    const QByteArray err = python.readAllStandardError();
    if (python.exitCode() != 0) {
        m_strError = QStringLiteral("reader failed (%1): %2").arg(python.exitCode()).arg(QString::fromUtf8(err));
        return;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput(), &parse);
    if (!doc.isObject()) {
        m_strError = QStringLiteral("reader output is not JSON: ") + parse.errorString();
        return;
    }
    m_json = doc.object();
    const QString warnings = m_json.value(QStringLiteral("warnings")).toString();
    if (warnings.contains(QStringLiteral("WARNING")) || warnings.contains(QStringLiteral("***")))
        m_strError = QStringLiteral("reader warned: ") + warnings;
}

QString CXlsDump::Text(int col, int row) const
{
    const QJsonValue v = m_json.value(QStringLiteral("values")).toArray().at(row - 1).toArray().at(col - 1);
    if (v.isDouble())
        return QStringLiteral("#") + QString::number(v.toDouble());
    return v.toString();
}

QJsonObject CXlsDump::Format(int col, int row) const
{
    const QJsonValue xf = m_json.value(QStringLiteral("xf")).toArray().at(row - 1).toArray().at(col - 1);
    if (!xf.isDouble())
        return QJsonObject();
    return m_json.value(QStringLiteral("formats")).toObject().value(QString::number(xf.toInt())).toObject();
}

QStringList CXlsDump::Merges() const
{
    QStringList result;
    for (const QJsonValue& m : m_json.value(QStringLiteral("merges")).toArray()) {
        const QJsonArray a = m.toArray();
        result << QStringLiteral("%1-%2:%3-%4")
                      .arg(a.at(0).toInt() + 1)
                      .arg(a.at(1).toInt() + 1)
                      .arg(a.at(2).toInt() + 1)
                      .arg(a.at(3).toInt() + 1);
    }
    return result;
}

double CXlsDump::Width(int col) const
{
    return m_json.value(QStringLiteral("widths")).toObject().value(QString::number(col - 1)).toDouble();
}

double CXlsDump::Height(int row) const
{
    return m_json.value(QStringLiteral("heights")).toObject().value(QString::number(row - 1)).toDouble();
}

QString ColourName(const QJsonValue& rgb)
{
    if (!rgb.isArray())
        return QStringLiteral("auto");
    const QJsonArray a = rgb.toArray();
    return QString::asprintf("#%02x%02x%02x", a.at(0).toInt(), a.at(1).toInt(), a.at(2).toInt());
}
