#include "surface/LineChart.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>

namespace {
QValueAxis* MakeAxis(const QString& title, double maximum)
{
    auto* axis = new QValueAxis;
    if (!title.isEmpty())
        axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%.0f"));
    axis->setRange(0, maximum);
    return axis;
}
}  // namespace

LineChart MakeLineChart(QWidget* parent, const QColor& color, int lineWidth, const QString& xTitle,
                        const QString& yTitle, double axisMaximum)
{
    LineChart c;
    c.chart = new QChart;
    c.chart->setObjectName(QStringLiteral("Graf"));
    c.chart->legend()->hide();
    c.chart->setTitle(QString());
    c.chart->setBackgroundRoundness(0);
    c.chart->setDropShadowEnabled(false);
    c.chart->setAnimationOptions(QChart::NoAnimation);
    c.series = new QLineSeries;
    c.series->setObjectName(QStringLiteral("Series1"));
    QPen pen(color);
    pen.setWidth(lineWidth);
    c.series->setPen(pen);
    c.chart->addSeries(c.series);
    c.axisX = MakeAxis(xTitle, axisMaximum);
    c.axisY = MakeAxis(yTitle, axisMaximum);
    c.chart->addAxis(c.axisX, Qt::AlignBottom);
    c.chart->addAxis(c.axisY, Qt::AlignLeft);
    c.series->attachAxis(c.axisX);
    c.series->attachAxis(c.axisY);
    c.view = new QChartView(c.chart, parent);
    c.view->setObjectName(QStringLiteral("GrafView"));
    c.view->setRenderHint(QPainter::Antialiasing, false);
    return c;
}
