#pragma once
// The Statistics window: counts of new, learning, review and due Items, a bar chart of the
// reviews due on each of the next 30 days, and a chart of the share of reviews recalled (not
// graded Again) on each of the last 30 days. It refreshes while open.
#include "review/ReviewStatistics.h"

#include <QWidget>

#include <functional>

class QChart;
class QChartView;
class QLabel;
class QTimer;

class TStatisticsWindow : public QWidget {
    Q_OBJECT
public:
    TStatisticsWindow(QWidget *parent, std::function<ReviewStatistics()> numbers);
    void Refresh();

    QLabel *L_New, *L_Learning, *L_Review, *L_DueToday;
    QChartView *DueChart, *RecallChart;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ShowDue(const ReviewStatistics &stats);
    void ShowRecall(const ReviewStatistics &stats);

    std::function<ReviewStatistics()> numbers;
    QTimer *refreshTimer;
};
