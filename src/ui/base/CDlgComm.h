#pragma once
// The base of the program's windows: controls created from the window's
// template table, laid out by DlgFontScaler at a fixed density, themed
// colours, a one-pixel frame, OK / Cancel on controls 1 and 2, a fixed order
// of set-up hooks, and the shared styling and fitting of grids.
//
// Life cycle: the constructor creates the controls (hidden ones stay
// hidden); InitDialog runs OnInitDialog once, before the window first shows
// (show() and exec() call it) or earlier when a window calls it itself.
// OnInitDialog lays the window out and then calls InitControls,
// AfterInitControls, sets m_bReady and calls ArrangeControls. Resizes lay the
// controls out again only once m_bReady is set.

#include "CAppTheme.h"
#include "CDlgTemplate.h"
#include "DlgFontScaler.h"

#include <QAbstractButton>
#include <QDialog>

#include <map>
#include <utility>
#include <vector>

class CSpreadSheet;
class QButtonGroup;
class QPainter;
class QPushButton;

class CDlgComm : public QDialog {
    Q_OBJECT
public:
    explicit CDlgComm(const CDlgTemplate& tmpl, QWidget* parent = nullptr);
    ~CDlgComm() override;

    // The control with this id (the first one for IDC_STATIC), or null.
    QWidget* GetDlgItem(int id) const;
    template <class T>
    T* GetDlgItemAs(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }
    // Radio groups are named by the id of their first button; the index
    // counts the group's buttons from 0, -1 when none is checked.
    int GetRadioIndex(int firstId) const;
    void SetRadioIndex(int firstId, int index);
    // Runs handler whenever the button (push, radio or check box) with this
    // id is clicked.
    template <class F>
    void OnClicked(int id, F handler)
    {
        if (auto* button = GetDlgItemAs<QAbstractButton>(id))
            connect(button, &QAbstractButton::clicked, this, std::move(handler));
    }

    // Runs OnInitDialog unless it has run already.
    void InitDialog();
    bool IsDialogInitialised() const { return m_bInitDone; }

    void ApplyGridLook(CSpreadSheet& grid);
    void FitGrid(CSpreadSheet& grid, bool equalColumns, const QRect& rect);
    void FitGridColumns(CSpreadSheet& grid, const QRect& rect);
    void TwipsToPixels(double twipsX, double twipsY, double* pixelsX, double* pixelsY) const;
    // Pixel density used by the grid operations; 0 restores the widget's own.
    void SetDensityOverride(double dpiX, double dpiY);
    double DensityX() const;
    double DensityY() const;

    const CDlgTemplate& Template() const { return m_template; }

    QPushButton* m_btnOK = nullptr;       // control 1
    QPushButton* m_btnCancel = nullptr;   // control 2
    DlgFontScaler m_Scaler;
    int m_nTemplateId;
    bool m_bReady = false;
    bool m_bDrawFrame = true;
    COLORREF m_clrFrame;

protected:
    virtual bool OnInitDialog();
    virtual void AfterInitControls() {}
    virtual void InitControls() {}
    virtual void ArrangeControls();
    // Paints over the background before the frame is drawn.
    virtual void PaintExtra(QPainter& dc);
    // The paint handler; only valid inside paintEvent.
    virtual void DoPaint();
    virtual void DoSize();
    virtual void OnOK();
    virtual void OnCancel();
    // The theme's colours on the window and its controls.
    void ApplyTheme();
    // Delivers a resize that Qt holds back while the window is hidden.
    void FlushPendingResize();

    void setVisible(bool visible) override;
    void accept() override;
    void reject() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateControls();

    CDlgTemplate m_template;
    std::vector<std::pair<int, QWidget*>> m_vControls;   // template order
    std::map<int, QButtonGroup*> m_mapRadioGroups;       // first id -> group
    bool m_bInitDone = false;
    double m_dDensityX = 0.0;
    double m_dDensityY = 0.0;
};
