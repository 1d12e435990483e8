#pragma once

#include <QString>

// A delivery address of the user, as the service keeps it.
struct CloudAddress
{
    int id = 0;
    QString name;
    QString mobile;
    QString province;
    QString city;
    QString area;
    QString address;
    int isDefault = 0;
};
