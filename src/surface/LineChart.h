#pragma once
// The flat one-series line chart of the test windows (the scan's speed, the
// stress test's temperature, the defect scope's panel): no legend, no title,
// no animation, value axes with whole-number labels.
#include <QColor>
#include <QString>

class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
class QWidget;

struct LineChart {
    QChart* chart = nullptr;
    QLineSeries* series = nullptr;
    QValueAxis* axisX = nullptr;
    QValueAxis* axisY = nullptr;
    QChartView* view = nullptr;  // owns the chart
};

// Builds the chart in a view owned by `parent`; both axes run from 0 to
// `axisMaximum`, titled `xTitle` and `yTitle` when these are not empty; the
// line is drawn `lineWidth` pixels wide in `color`.
LineChart MakeLineChart(QWidget* parent, const QColor& color, int lineWidth, const QString& xTitle = {},
                        const QString& yTitle = {}, double axisMaximum = 100);
