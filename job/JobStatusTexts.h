#pragma once

#include <QString>

// The states of a job on its way to a device, as the job status window shows them.
namespace JobStatusTexts {
inline QString waiting()
{
    return QStringLiteral("等待发送");
}
inline QString sending()
{
    return QStringLiteral("正在发送");
}
inline QString sent()
{
    return QStringLiteral("发送完成");
}
inline QString failed()
{
    return QStringLiteral("发送失败");
}
} // namespace JobStatusTexts
