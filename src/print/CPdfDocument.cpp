#include "CPdfDocument.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr int kResolution = 300; // device units per inch
constexpr double kCellPadMm = 1.2;

} // namespace

CPdfDocument::CPdfDocument() = default;
CPdfDocument::~CPdfDocument() = default;

QString CPdfDocument::HangulFamily()
{
    static const QString family = [] {
        // The font file itself, so that the embedded font does not depend on
        // what fontconfig would substitute.
        for (const char* path : {"/usr/share/fonts/truetype/nanum/NanumGothic.ttf",
                                 "/usr/share/fonts/truetype/nanum/NanumGothicBold.ttf"})
            if (QFileInfo::exists(QString::fromUtf8(path)))
                QFontDatabase::addApplicationFont(QString::fromUtf8(path));
        const QStringList families = QFontDatabase::families();
        return families.contains(QStringLiteral("NanumGothic")) ? QStringLiteral("NanumGothic") : QString();
    }();
    return family;
}

void CPdfDocument::PaintText(QPainter& painter, const QRectF& rect, int flags, const QString& text)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double space = metrics.horizontalAdvance(QLatin1Char(' '));
    const QStringList words = text.split(QLatin1Char(' '));
    double width = 0.0;
    for (const QString& word : words)
        width += metrics.horizontalAdvance(word);
    width += space * (words.size() - 1);
    double x = rect.left();
    if (flags & Qt::AlignHCenter)
        x = rect.center().x() - width / 2;
    else if (flags & Qt::AlignRight)
        x = rect.right() - width;
    double baseline = rect.top() + metrics.ascent();
    if (flags & Qt::AlignVCenter)
        baseline = rect.center().y() - metrics.height() / 2 + metrics.ascent();
    else if (flags & Qt::AlignBottom)
        baseline = rect.bottom() - metrics.descent();
    for (const QString& word : words) {
        if (!word.isEmpty())
            painter.drawText(QPointF(x, baseline), word);
        x += metrics.horizontalAdvance(word) + space;
    }
}

double CPdfDocument::Mm(double millimetres) const
{
    return millimetres * kResolution / 25.4;
}

QFont CPdfDocument::Font(double points, bool bold) const
{
    QFont font(HangulFamily());
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

double CPdfDocument::LineHeight(const QFont& font) const
{
    return QFontMetricsF(font, m_pWriter.get()).height();
}

bool CPdfDocument::Write(const QString& path, const std::function<void(CPdfDocument&)>& body, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (HangulFamily().isEmpty())
        return fail(QStringLiteral("한글 글꼴(NanumGothic)을 찾을 수 없습니다"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("파일을 만들 수 없습니다: %1").arg(file.errorString()));

    m_pWriter = std::make_unique<QPdfWriter>(&file);
    m_pWriter->setResolution(kResolution);
    m_pWriter->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(14, 12, 14, 10), QPageLayout::Millimeter));
    m_pWriter->setTitle(m_strTitle);
    m_pWriter->setCreator(QStringLiteral("Brevane"));

    const QRectF page(0, 0, m_pWriter->width(), m_pWriter->height());
    m_dFooterTop = page.bottom() - Mm(7);
    m_rcContent = QRectF(page.left(), page.top(), page.width(), m_dFooterTop - Mm(2) - page.top());

    // Counting pass.
    m_pPainter = nullptr;
    m_nPage = 0;
    m_nPageCount = 0;
    BeginPage();
    body(*this);
    const int pages = m_nPage;

    // Drawing pass.
    QPainter painter;
    if (!painter.begin(m_pWriter.get())) {
        m_pWriter.reset();
        return fail(QStringLiteral("PDF를 쓸 수 없습니다"));
    }
    m_pPainter = &painter;
    m_nPage = 0;
    m_nPageCount = pages;
    BeginPage();
    body(*this);
    FinishPage();
    painter.end();
    m_pPainter = nullptr;
    const bool layoutStable = m_nPage == pages;
    m_pWriter.reset();
    if (!layoutStable) {
        file.cancelWriting();
        return fail(QStringLiteral("쪽 나눔이 일정하지 않아 저장하지 않았습니다"));
    }
    if (!file.commit())
        return fail(QStringLiteral("파일을 저장할 수 없습니다: %1").arg(file.errorString()));
    return true;
}

void CPdfDocument::BeginPage()
{
    ++m_nPage;
    m_dY = m_rcContent.top();
}

void CPdfDocument::FinishPage()
{
    if (!m_pPainter)
        return;
    QPainter& p = *m_pPainter;
    const QFont font = Font(8);
    p.setFont(font);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), Mm(0.2)));
    p.drawLine(QPointF(m_rcContent.left(), m_dFooterTop), QPointF(m_rcContent.right(), m_dFooterTop));
    p.setPen(Qt::black);
    const QRectF band(m_rcContent.left(), m_dFooterTop + Mm(1), m_rcContent.width(), LineHeight(font));
    PaintText(p, band, Qt::AlignHCenter | Qt::AlignVCenter,
              QStringLiteral("페이지 %1 / %2").arg(m_nPage).arg(m_nPageCount));
    if (!m_strFooterLeft.isEmpty())
        PaintText(p, band, Qt::AlignLeft | Qt::AlignVCenter, m_strFooterLeft);
}

void CPdfDocument::NewPage()
{
    FinishPage();
    if (m_pPainter)
        m_pWriter->newPage();
    BeginPage();
}

void CPdfDocument::EnsureSpace(double height)
{
    if (m_dY + height > m_rcContent.bottom() && m_dY > m_rcContent.top())
        NewPage();
}

void CPdfDocument::DrawTitle(const QString& text, double points)
{
    const QFont font = Font(points, true);
    const double h = LineHeight(font) * 1.4;
    EnsureSpace(h);
    if (m_pPainter) {
        m_pPainter->setFont(font);
        m_pPainter->setPen(Qt::black);
        PaintText(*m_pPainter, QRectF(m_rcContent.left(), m_dY, m_rcContent.width(), h), Qt::AlignCenter, text);
    }
    m_dY += h + Mm(2);
}

void CPdfDocument::DrawText(const QString& text, double points, bool bold)
{
    const QFont font = Font(points, bold);
    const double h = LineHeight(font) + Mm(1);
    EnsureSpace(h);
    if (m_pPainter) {
        m_pPainter->save();
        m_pPainter->setFont(font);
        m_pPainter->setPen(Qt::black);
        const QRectF line(m_rcContent.left(), m_dY, m_rcContent.width(), h);
        m_pPainter->setClipRect(line);
        PaintText(*m_pPainter, line, Qt::AlignLeft | Qt::AlignTop, text);
        m_pPainter->restore();
    }
    m_dY += h;
}

void CPdfDocument::DrawFieldBlock(const std::vector<std::pair<QString, QString>>& fields, int pairsPerRow)
{
    pairsPerRow = std::max(1, pairsPerRow);
    const QFont font = Font(9);
    const double h = LineHeight(font) + 2 * Mm(kCellPadMm);
    const double pairWidth = m_rcContent.width() / pairsPerRow;
    const double labelWidth = pairWidth * 0.35;
    for (size_t i = 0; i < fields.size(); i += static_cast<size_t>(pairsPerRow)) {
        EnsureSpace(h);
        if (m_pPainter) {
            QPainter& p = *m_pPainter;
            p.setFont(font);
            p.setPen(QPen(Qt::black, Mm(0.2)));
            for (int k = 0; k < pairsPerRow && i + k < fields.size(); ++k) {
                const double x = m_rcContent.left() + k * pairWidth;
                const QRectF label(x, m_dY, labelWidth, h);
                const QRectF value(x + labelWidth, m_dY, pairWidth - labelWidth, h);
                p.fillRect(label, QColor(0xE8, 0xEC, 0xF2));
                p.drawRect(label);
                p.drawRect(value);
                PaintText(p, label, Qt::AlignCenter, fields[i + k].first);
                PaintText(p, value.adjusted(Mm(kCellPadMm), 0, -Mm(kCellPadMm), 0), Qt::AlignLeft | Qt::AlignVCenter,
                          fields[i + k].second);
            }
        }
        m_dY += h;
    }
    m_dY += Mm(3);
}

void CPdfDocument::DrawHeadings(const std::vector<PdfColumn>& columns, const std::vector<double>& widths,
                                const QFont& font, double height)
{
    if (m_pPainter) {
        QPainter& p = *m_pPainter;
        QFont bold = font;
        bold.setBold(true);
        p.setFont(bold);
        p.setPen(QPen(Qt::black, Mm(0.2)));
        double x = m_rcContent.left();
        for (size_t c = 0; c < columns.size(); ++c) {
            const QRectF cell(x, m_dY, widths[c], height);
            p.fillRect(cell, QColor(0xDD, 0xEB, 0xF7));
            p.drawRect(cell);
            PaintText(p, cell, Qt::AlignCenter, columns[c].strHeading);
            x += widths[c];
        }
    }
    m_dY += height;
}

void CPdfDocument::DrawCellRow(const QStringList& cells, const std::vector<PdfColumn>& columns,
                               const std::vector<double>& widths, const QFont& font, double height, bool shaded)
{
    if (!m_pPainter)
        return;
    QPainter& p = *m_pPainter;
    p.setFont(font);
    p.setPen(QPen(Qt::black, Mm(0.2)));
    double x = m_rcContent.left();
    for (size_t c = 0; c < columns.size(); ++c) {
        const QRectF cell(x, m_dY, widths[c], height);
        if (shaded)
            p.fillRect(cell, QColor(0xF6, 0xF6, 0xF6));
        p.drawRect(cell);
        const QString text = c < static_cast<size_t>(cells.size()) ? cells[static_cast<int>(c)] : QString();
        PaintText(p, cell.adjusted(Mm(kCellPadMm), 0, -Mm(kCellPadMm), 0), columns[c].align | Qt::AlignVCenter,
                  text);
        x += widths[c];
    }
}

void CPdfDocument::DrawTable(const std::vector<PdfColumn>& columns, int rowCount,
                             const std::function<QStringList(int)>& rowText, double points)
{
    if (columns.empty())
        return;
    double total = 0.0;
    for (const PdfColumn& column : columns)
        total += std::max(0.0, column.dWidth);
    std::vector<double> widths;
    for (const PdfColumn& column : columns)
        widths.push_back(total > 0 ? m_rcContent.width() * std::max(0.0, column.dWidth) / total
                                   : m_rcContent.width() / columns.size());
    const QFont font = Font(points);
    const double h = LineHeight(font) + 2 * Mm(kCellPadMm);

    // Headings and at least the first row stay together.
    EnsureSpace(2 * h);
    DrawHeadings(columns, widths, font, h);
    for (int i = 0; i < rowCount; ++i) {
        if (m_dY + h > m_rcContent.bottom()) {
            NewPage();
            DrawHeadings(columns, widths, font, h);
        }
        if (m_pPainter)
            DrawCellRow(rowText(i), columns, widths, font, h, i % 2 == 1);
        m_dY += h;
    }
    m_dY += Mm(3);
}
