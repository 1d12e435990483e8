#pragma once

class QAbstractButton;

// Marks a button of a group of choices as the chosen one (blue) or as one of the others (white).
void markChoice(QAbstractButton* button, bool chosen);
