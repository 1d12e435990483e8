#include "UIFileList.h"

#include "UIFile.h"
#include "UIFileConfig.h"

UIFileList::UIFileList(const SUser& user, QWidget* parent) : UIFileList(user, new UIFileConfig, parent) {}

UIFileList::UIFileList(const SUser& user, UIFileConfig* config, QWidget* parent)
    : UIFileList2(user, config, parent), m_cloudConfig(config)
{
}

QList<UIFile*> UIFileList::cloudRows() const
{
    QList<UIFile*> cloud;
    for (UIFile2* row : rows())
        cloud.append(static_cast<UIFile*>(row));
    return cloud;
}

void UIFileList::setProvider(const CloudProvider& provider)
{
    m_cloudConfig->setProvider(provider);
}

UIFile2* UIFileList::makeRow(int index, const QString& path)
{
    return new UIFile(index, user(), path, rowParent());
}
