#pragma once

#include "SUser.h"

#include <QWidget>
#include <memory>

class UIFileList2;

namespace Ui {
class OnlineWidget1;
}

// Step 1 of online printing: the documents and their settings.
class OnlineWidget1 : public QWidget
{
    Q_OBJECT

public:
    explicit OnlineWidget1(const SUser& user, QWidget* parent = nullptr);
    ~OnlineWidget1() override;

    UIFileList2* fileList() const { return m_fileList; }

private:
    std::unique_ptr<Ui::OnlineWidget1> m_ui;
    UIFileList2* m_fileList;
};
