#pragma once

class QAbstractScrollArea;

// Gives area's scroll bars the client's thin look: 8 pixels, rounded grey handles, no arrows, clear
// tracks. Set on the bars themselves: a style sheet of the area does not reach them.
void useThinScrollBars(QAbstractScrollArea* area);
