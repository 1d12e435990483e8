#pragma once

#include "CloudOrder.h"
#include "UIFileList2.h"

class UIFile;
class UIFileConfig;

// The documents of a print-and-deliver order: the online list with rows and settings of this flow.
class UIFileList : public UIFileList2
{
    Q_OBJECT

public:
    explicit UIFileList(const SUser& user, QWidget* parent = nullptr);

    QList<UIFile*> cloudRows() const;
    // Offers the provider's options in the settings.
    void setProvider(const CloudProvider& provider);

protected:
    UIFile2* makeRow(int index, const QString& path) override;

private:
    UIFileList(const SUser& user, UIFileConfig* config, QWidget* parent);

    UIFileConfig* m_cloudConfig;
};
