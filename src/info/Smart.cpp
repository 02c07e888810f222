#include "info/Smart.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "common/DriveContext.h"
#include "common/Format.h"
#include "common/IniFile.h"
#include "common/Services.h"
#include "common/Shell.h"
#include "common/TextFile.h"

namespace {

constexpr int kHelpContext = 20;
constexpr int kTextMargin = 3;

// Data cells are drawn by the window's GridDrawCell.
class CellPainter : public QStyledItemDelegate {
public:
    CellPainter(const TfrmSMART* form, QObject* parent) : QStyledItemDelegate(parent), m_form(form) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_form->GridDrawCell(*p, index.column(), index.row() + m_form->FixedRows(), option.rect,
                             option.state & QStyle::State_Selected);
    }

private:
    const TfrmSMART* m_form;
};

// The fixed header row: it stays in place while the attribute rows scroll,
// and GridDrawCell draws it too.
class FixedRow : public QHeaderView {
public:
    FixedRow(const TfrmSMART* form, QWidget* parent) : QHeaderView(Qt::Horizontal, parent), m_form(form) {}

protected:
    void paintSection(QPainter* p, const QRect& rect, int logicalIndex) const override
    {
        m_form->GridDrawCell(*p, logicalIndex, 0, rect, false);
        p->save();
        p->setPen(palette().color(QPalette::Mid));
        p->drawLine(rect.topRight(), rect.bottomRight());
        p->drawLine(rect.bottomLeft(), rect.bottomRight());
        p->restore();
    }

private:
    const TfrmSMART* m_form;
};

// The grid's font: the widget font, made smaller where needed so that every
// header text fits its column and a line fits the row height.
QFont GridFont(QFont font)
{
    auto fits = [](const QFont& f) {
        const QFontMetrics fm(f);
        if (fm.height() > info::kSmartRowHeight)
            return false;
        for (int c = 0; c < info::kSmartColumns; ++c)
            if (fm.horizontalAdvance(info::kSmartHeader[c]) + 2 > info::kSmartColumnWidths[c])
                return false;
        return true;
    };
    while (!fits(font) && font.pointSizeF() > 6.5)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    return font;
}

}  // namespace

QPoint SmartCellTextOrigin(int row, int col, const QRect& cell, int textWidth, int textHeight)
{
    int x;
    if (row == 0)
        x = cell.left() + (cell.width() - textWidth) / 2;
    else if (col == 0)
        x = cell.left() + kTextMargin;
    else
        x = cell.left() + cell.width() - kTextMargin - textWidth;
    return QPoint(x, cell.top() + (cell.height() - textHeight) / 2);
}

TfrmSMART::TfrmSMART(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmSMART"));
    setWindowTitle(QStringLiteral("SMART"));
    SaveDialog = AskReportFile;
    Now = [] { return QDateTime::currentDateTime(); };

    Grid = new QTableWidget(1, info::kSmartColumns, this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setFont(GridFont(Grid->font()));
    Grid->setHorizontalHeader(new FixedRow(this, Grid));
    Grid->horizontalHeader()->hide();
    Grid->horizontalHeader()->setFixedHeight(info::kSmartRowHeight);
    Grid->horizontalHeader()->setSectionsClickable(false);
    Grid->horizontalHeader()->setHighlightSections(false);
    Grid->verticalHeader()->hide();
    for (QHeaderView* h : {Grid->horizontalHeader(), Grid->verticalHeader()}) {
        h->setMinimumSectionSize(1);
        h->setSectionResizeMode(QHeaderView::Fixed);
    }
    Grid->verticalHeader()->setDefaultSectionSize(info::kSmartRowHeight);
    for (int c = 0; c < info::kSmartColumns; ++c)
        Grid->setColumnWidth(c, info::kSmartColumnWidths[c]);
    Grid->setItemDelegate(new CellPainter(this, Grid));
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setShowGrid(true);
    Grid->setWordWrap(false);
    // Fifteen rows fit; past them the vertical scroll bar takes the room the
    // narrower name column leaves.
    int width = 0;
    for (int w : info::kSmartColumnWidths)
        width += w;
    const int scrollBar = Grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Grid);
    width = std::max(width, width - info::kSmartColumnWidths[0] + info::kSmartNarrowNameWidth + scrollBar);
    Grid->setFixedSize(width + 2 * Grid->frameWidth(),
                       info::kSmartRowsWithoutScroll * info::kSmartRowHeight + 2 * Grid->frameWidth());

    bbSave = new QPushButton(QStringLiteral("Сохранить"), this);
    bbSave->setObjectName(QStringLiteral("bbSave"));
    bbSave->setAutoDefault(false);
    bbSave->setEnabled(false);
    bbClose = new QPushButton(QStringLiteral("Закрыть"), this);
    bbClose->setObjectName(QStringLiteral("bbClose"));
    bbClose->setDefault(true);
    bbHelp = new QPushButton(QStringLiteral("&Help"), this);
    bbHelp->setObjectName(QStringLiteral("bbHelp"));
    bbHelp->setAutoDefault(false);
    connect(bbSave, &QPushButton::clicked, this, &TfrmSMART::bbSaveClick);
    connect(bbClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmSMART::bbHelpClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbSave);
    buttons->addWidget(bbClose);
    buttons->addWidget(bbHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate();
}

void TfrmSMART::FormCreate()
{
    if (Ctx().IniFile)
        RawFormat = Ctx().IniFile->ReadInteger(QStringLiteral("SMART"), QStringLiteral("RawFormat"), 1);
    m_reading = info::ReadSmart();
    const info::SmartReading& r = m_reading;
    SmartWasDisabled = r.smartWasDisabled;
    if (r.identified()) {
        Ctx().Model = r.model;
        SerialNumber = r.serial;
    }
    if (!r.ok()) {
        ShowError(parentWidget(), info::SmartStatusMessage(r.status));
    } else {
        ShowAllowed = 1;
        setWindowTitle(windowTitle() + QStringLiteral(" - ") + Ctx().Model);
        m_rows = info::AttributeRows(r.attributes, r.thresholds, RawFormat);
        Grid->setRowCount(int(m_rows.size()) + 1 - FixedRows());
        for (int row = 0; row < Grid->rowCount(); ++row)
            for (int col = 0; col < info::kSmartColumns; ++col)
                Grid->setItem(row, col, new QTableWidgetItem(Cells(col, row + FixedRows())));
        Grid->setColumnWidth(0, info::NameColumnWidth(RowCount()));
        if (FixedRows()) {
            for (int col = 0; col < info::kSmartColumns; ++col)
                Grid->setHorizontalHeaderItem(col, new QTableWidgetItem(info::kSmartHeader[col]));
            Grid->horizontalHeader()->show();
        }
        Grid->setCurrentCell(0, 0);
        bbSave->setEnabled(true);
    }
    if (r.restoreFailed)
        ShowError(parentWidget(), info::kSmartDisableFailed.toString());
}

QString TfrmSMART::Cells(int col, int row) const
{
    if (col < 0 || col >= info::kSmartColumns || row < 0 || row >= RowCount())
        return QString();
    if (row == 0)
        return ShowAllowed ? info::kSmartHeader[col] : QString();
    return m_rows[size_t(row - 1)][col];
}

void TfrmSMART::GridDrawCell(QPainter& canvas, int ACol, int ARow, const QRect& rect, bool selected) const
{
    const QPalette& pal = Grid->palette();
    const bool fixed = ARow < FixedRows();
    QColor back = pal.color(QPalette::Base);
    QColor ink = pal.color(QPalette::Text);
    if (fixed) {
        back = pal.color(QPalette::Button);
        ink = pal.color(QPalette::ButtonText);
    } else if (selected) {
        back = pal.color(QPalette::Highlight);
        ink = pal.color(QPalette::HighlightedText);
    }
    if (ARow > 0 && info::BelowThreshold(m_rows[size_t(ARow - 1)]))
        ink = QColor(255, 0, 0);

    const QString text = Cells(ACol, ARow);
    const QFontMetrics fm(Grid->font());
    const QPoint origin = SmartCellTextOrigin(ARow, ACol, rect, fm.horizontalAdvance(text), fm.height());
    canvas.save();
    canvas.setClipRect(rect);
    canvas.fillRect(rect, back);
    canvas.setFont(Grid->font());
    canvas.setPen(ink);
    canvas.drawText(origin.x(), origin.y() + fm.ascent(), text);
    canvas.restore();
}

QStringList TfrmSMART::ReportLines(const QDateTime& moment) const
{
    info::SmartReportHead head;
    head.caption = MainShell() ? MainShell()->Caption() : QString();
    head.dateText = ShortDateText(moment);
    head.timeText = LongTimeText(moment);
    head.model = TrimControl(Ctx().Model);
    head.serial = TrimControl(SerialNumber);
    return info::SmartReportLines(head, m_rows);
}

void TfrmSMART::bbSaveClick()
{
    const QDateTime proposedAt = Now();
    const QString file = SaveDialog(this, Ctx().ExeDir + QStringLiteral("Log"),
                                    info::SmartReportFileName(TrimControl(Ctx().Model), ShortDateText(proposedAt),
                                                              proposedAt.time()));
    if (file.isEmpty())
        return;
    QString why;
    if (!WriteReportFile(file, ReportLines(Now()), &why))
        ShowError(this, QStringLiteral("Не удалось сохранить отчет в файл %1: %2").arg(file, why));
}

void TfrmSMART::bbHelpClick() { ShowHelpContext(this, kHelpContext); }

void ShowSmartViewer(QWidget* owner)
{
    const auto form = std::make_unique<TfrmSMART>(owner);
    if (form->ShowAllowed)
        form->exec();
}
