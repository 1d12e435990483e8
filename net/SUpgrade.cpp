#include "SUpgrade.h"

SUpgrade::SUpgrade(QObject* parent) : QObject(parent) {}
