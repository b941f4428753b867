#pragma once
// The page machinery of the program's PDF documents (the measurement report
// now, a calibration certificate later): A4 pages with a Hangul font that is
// embedded in the file, a cursor running down the page, a title, a block of
// label/value cells, tables whose headings come back on every page, and a
// footer "페이지 n / m" on each page.
//
// The footer needs the page count before the first page is finished, so a
// document body runs twice: once only measuring (Painter() is null) to count
// the pages, then drawing. A body must therefore lay out the same way both
// times and draw only through this class or while Painter() is set.
//
// Qt Gui only (no Widgets): a command-line tool writes documents under a
// QGuiApplication on the offscreen platform.

#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QPainter;
class QPdfWriter;

struct PdfColumn {
    QString strHeading;
    double dWidth = 1.0; // share of the table's width
    Qt::Alignment align = Qt::AlignCenter;
};

class CPdfDocument {
public:
    CPdfDocument();
    ~CPdfDocument();
    CPdfDocument(const CPdfDocument&) = delete;
    CPdfDocument& operator=(const CPdfDocument&) = delete;

    // The family of the embedded Hangul font ("NanumGothic"), registered
    // from the fonts-nanum files on first use; empty when it is missing.
    static QString HangulFamily();

    // One line of text in rect, aligned by flags. Words are placed one by one
    // with the space's advance between them: the embedded Nanum font's space
    // glyph reads back as U+0001 from the PDF, so no space glyph is written
    // and readers see the gap as the space it is.
    static void PaintText(QPainter& painter, const QRectF& rect, int flags, const QString& text);

    void SetTitle(const QString& title) { m_strTitle = title; }
    void SetFooterLeft(const QString& text) { m_strFooterLeft = text; }

    // Writes the document to path, replacing a file there only when the new
    // one is whole. False with a Korean reason in *error otherwise.
    bool Write(const QString& path, const std::function<void(CPdfDocument&)>& body, QString* error);

    // --- for bodies ---
    QPainter* Painter() const { return m_pPainter; } // null while counting pages
    int PageNumber() const { return m_nPage; }
    QRectF ContentRect() const { return m_rcContent; } // above the footer
    double Y() const { return m_dY; }
    void SetY(double y) { m_dY = y; }
    double Mm(double millimetres) const;
    QFont Font(double points, bool bold = false) const;
    double LineHeight(const QFont& font) const;

    void NewPage();
    // Starts a new page when fewer than height units are left on this one.
    void EnsureSpace(double height);
    void Skip(double height) { m_dY += height; }

    void DrawTitle(const QString& text, double points = 16);
    // One line (texts wider than the page are cut off at its edge).
    void DrawText(const QString& text, double points = 10, bool bold = false);
    // Label/value pairs, `pairsPerRow` pairs side by side, labels shaded.
    void DrawFieldBlock(const std::vector<std::pair<QString, QString>>& fields, int pairsPerRow);
    // A table of rowCount rows; rowText(i) gives row i's cells. The headings
    // are drawn again at the top of every page the table runs onto.
    void DrawTable(const std::vector<PdfColumn>& columns, int rowCount,
                   const std::function<QStringList(int)>& rowText, double points = 9);

private:
    void BeginPage();
    void FinishPage();
    void DrawHeadings(const std::vector<PdfColumn>& columns, const std::vector<double>& widths,
                      const QFont& font, double height);
    void DrawCellRow(const QStringList& cells, const std::vector<PdfColumn>& columns,
                     const std::vector<double>& widths, const QFont& font, double height, bool shaded);

    std::unique_ptr<QPdfWriter> m_pWriter;
    QPainter* m_pPainter = nullptr;
    QString m_strTitle;
    QString m_strFooterLeft;
    QRectF m_rcContent;
    double m_dFooterTop = 0.0;
    double m_dY = 0.0;
    int m_nPage = 0;
    int m_nPageCount = 0; // known in the drawing pass
};
