#include "CloudJobRun.h"

#include "LoginLoop.h"
#include "SJob.h"

CloudJobRun::CloudJobRun(QObject* parent) : QObject(parent)
{
    SJob job;
    runLoginAndMainWindow(&job);
}
