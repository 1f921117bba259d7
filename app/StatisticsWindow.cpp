#include "app/StatisticsWindow.h"

#include "platform/Application.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QScatterSeries>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

namespace {

QDateTime Moment(ReviewTime time) { return QDateTime::fromSecsSinceEpoch(time); }

QChartView *ChartView(const QString &title, QWidget *parent)
{
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *view = new QChartView(chart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(560, 220);
    view->setAccessibleName(title);
    return view;
}

// The chart starts anew with each refresh: its series and axes go.
QChart *EmptiedChart(QChartView *view)
{
    QChart *chart = view->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    return chart;
}

QLabel *Count(QFormLayout *form, const QString &caption)
{
    auto *label = new QLabel;
    label->setAccessibleDescription(caption);
    form->addRow(caption + QLatin1Char(':'), label);
    return label;
}

} // namespace

TStatisticsWindow::TStatisticsWindow(QWidget *parent, std::function<ReviewStatistics()> source)
    : QWidget(parent, Qt::Window), numbers(std::move(source))
{
    setObjectName(QStringLiteral("StatisticsWindow"));
    setWindowTitle(QStringLiteral("Statistics"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    L_New = Count(form, QStringLiteral("New Items"));
    L_Learning = Count(form, QStringLiteral("Learning"));
    L_Review = Count(form, QStringLiteral("In review"));
    L_DueToday = Count(form, QStringLiteral("Due today"));
    layout->addLayout(form);
    DueChart = ChartView(QStringLiteral("Reviews due on each of the next 30 days"), this);
    RecallChart = ChartView(QStringLiteral("Reviews recalled (not graded Again) on each of the last 30 days"), this);
    layout->addWidget(DueChart, 1);
    layout->addWidget(RecallChart, 1);
    resize(640, 600);

    // New days and reviews made elsewhere show up without a click.
    refreshTimer = new QTimer(this);
    refreshTimer->setInterval(60 * 1000);
    connect(refreshTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            Refresh();
    });
    refreshTimer->start();
}

void TStatisticsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Refresh();
}

void TStatisticsWindow::Refresh()
{
    ReviewStatistics stats;
    try {
        stats = numbers();
    } catch (...) {
        HandleCurrentException();
        return;
    }
    for (auto [label, count] : {std::pair{L_New, stats.newItems}, std::pair{L_Learning, stats.learning},
                                std::pair{L_Review, stats.review}, std::pair{L_DueToday, stats.dueToday}}) {
        label->setText(QString::number(count));
        label->setAccessibleName(label->accessibleDescription() + QStringLiteral(": ") + label->text());
    }
    ShowDue(stats);
    ShowRecall(stats);
}

void TStatisticsWindow::ShowDue(const ReviewStatistics &stats)
{
    QChart *chart = EmptiedChart(DueChart);
    auto *set = new QBarSet(QStringLiteral("Due"));
    QStringList spoken;
    int most = 0;
    for (int i = 0; i < ReviewStatistics::Days; ++i) {
        const int due = stats.duePerDay[size_t(i)];
        *set << due;
        most = std::max(most, due);
        const QDate date = Moment(stats.comingDays[size_t(i)]).date();
        if (due > 0)
            spoken << QLocale::system().toString(date, QLocale::ShortFormat) + QStringLiteral(": ") + QString::number(due);
    }
    auto *series = new QBarSeries;
    series->append(set);
    chart->addSeries(series);
    // Thirty day labels would not fit: every fifth day is numbered, counted from today.
    auto *x = new QValueAxis;
    x->setRange(-0.5, ReviewStatistics::Days - 0.5);
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(5);
    x->setLabelFormat(QStringLiteral("%d"));
    x->setGridLineVisible(false);
    x->setTitleText(QStringLiteral("Days from today (0 is today)"));
    auto *y = new QValueAxis;
    y->setRange(0, std::max(most, 4));
    y->setLabelFormat(QStringLiteral("%d"));
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    DueChart->setAccessibleDescription(spoken.isEmpty() ? QStringLiteral("No reviews due") : spoken.join(QStringLiteral(", ")));
}

void TStatisticsWindow::ShowRecall(const ReviewStatistics &stats)
{
    QChart *chart = EmptiedChart(RecallChart);
    // Days without reviews have no share: the line joins the days that have one.
    auto *line = new QLineSeries;
    auto *points = new QScatterSeries;
    points->setMarkerSize(7);
    QStringList spoken;
    for (int i = 0; i < ReviewStatistics::Days; ++i) {
        const int reviews = stats.reviewsPerDay[size_t(i)];
        if (reviews == 0)
            continue;
        const double share = 100.0 * stats.recalledPerDay[size_t(i)] / reviews;
        const QDateTime day = Moment(stats.pastDays[size_t(i)]);
        line->append(double(day.toMSecsSinceEpoch()), share);
        points->append(double(day.toMSecsSinceEpoch()), share);
        spoken << QLocale::system().toString(day.date(), QLocale::ShortFormat) + QStringLiteral(": ") +
                      QString::number(share, 'f', 0) + QStringLiteral("% of ") + QString::number(reviews);
    }
    chart->addSeries(line);
    chart->addSeries(points);
    points->setColor(line->color());
    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("d MMM"));
    x->setRange(Moment(stats.pastDays[0]), Moment(stats.pastDays[ReviewStatistics::Days - 1]).addDays(1));
    x->setTickCount(6);
    auto *y = new QValueAxis;
    y->setRange(0, 100);
    y->setLabelFormat(QStringLiteral("%d%%"));
    y->setTitleText(QStringLiteral("Recalled"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries *series : {static_cast<QAbstractSeries *>(line), static_cast<QAbstractSeries *>(points)}) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    RecallChart->setAccessibleDescription(spoken.isEmpty() ? QStringLiteral("No reviews in the last 30 days")
                                                           : spoken.join(QStringLiteral(", ")));
}
