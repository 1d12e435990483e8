#pragma once

#include <QPoint>
#include <QSize>

// Every flow page sits at the same place inside the main window's content area.
constexpr QSize kMainPageSize(910, 365);
constexpr QPoint kMainPagePosition(1, 25);
