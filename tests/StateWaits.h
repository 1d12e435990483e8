#pragma once

// Included before every test source (see tests/CMakeLists.txt). Tests wait for states, and a wait's
// bound only matters when the state never comes; QtTest's 5 s default is too tight for a state that does
// come on a loaded 2-core machine running the sanitizers, so every wait without its own bound gets this.
#include <QtTest/qtestcase.h>

constexpr int kStateWaitMs = 60000;

#undef QTRY_VERIFY
#undef QTRY_VERIFY2
#undef QTRY_COMPARE
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT((expr), kStateWaitMs)
#define QTRY_VERIFY2(expr, messageExpression) QTRY_VERIFY2_WITH_TIMEOUT((expr), (messageExpression), kStateWaitMs)
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT((expr), expected, kStateWaitMs)
