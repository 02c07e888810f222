#pragma once
// The SMART viewer (F9 of the main window): the attribute table of the
// drive, drawn with the attributes below their threshold in red, and saved
// as a text report.
#include <QDateTime>
#include <QDialog>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/ReportSave.h"
#include "info/SmartData.h"

class QPainter;
class QPushButton;
class QTableWidget;

class TfrmSMART : public QDialog {
    Q_OBJECT
public:
    // Reads the drive's SMART table and fills the grid; on failure shows the
    // program's message and leaves ShowAllowed at 0.
    explicit TfrmSMART(QWidget* owner = nullptr);

    QTableWidget* Grid = nullptr;
    QPushButton* bbSave = nullptr;
    QPushButton* bbClose = nullptr;
    QPushButton* bbHelp = nullptr;
    // The save dialog; tests answer it themselves.
    ReportFileDialog SaveDialog;
    // The moment the report and its file name carry (tests fix it).
    std::function<QDateTime()> Now;

    int RawFormat = 1;              // "SMART"/"RawFormat": 0 hexadecimal, otherwise decimal
    bool SmartWasDisabled = false;  // the reading switched SMART on for the moment
    QString SerialNumber;
    // 1 when the attributes and the thresholds were read.
    uint8_t ShowAllowed = 0;

    // The grid as a table of texts: row 0 is the header row, fixed when
    // there are attribute rows under it.
    int RowCount() const { return 1 + int(m_rows.size()); }
    int FixedRows() const { return m_rows.empty() ? 0 : 1; }
    QString Cells(int col, int row) const;
    const info::SmartReading& Reading() const { return m_reading; }

    // The report Save writes, as of `moment`.
    QStringList ReportLines(const QDateTime& moment) const;

    // Draws one cell: the colour rule, the placement, the clipping.
    void GridDrawCell(QPainter& canvas, int ACol, int ARow, const QRect& rect, bool selected) const;

    void bbSaveClick();
    void bbHelpClick();

private:
    void FormCreate();

    info::SmartReading m_reading;
    std::vector<info::SmartRow> m_rows;  // the data rows, grid rows 1..n
};

// Where a cell's text starts (its top-left corner): the header row centred,
// the name column 3 pixels from the left edge, the other columns
// right-aligned 3 pixels from the right edge; vertically centred, the
// division truncating.
QPoint SmartCellTextOrigin(int row, int col, const QRect& cell, int textWidth, int textHeight);

// The main menu's command: creates the viewer with `owner` as its owner,
// shows it modally when the reading succeeded, and destroys it.
void ShowSmartViewer(QWidget* owner);
