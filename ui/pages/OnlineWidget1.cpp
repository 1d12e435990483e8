#include "OnlineWidget1.h"

#include "UIFileList2.h"
#include "ui_OnlineWidget1.h"

OnlineWidget1::OnlineWidget1(const SUser& user, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::OnlineWidget1>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    m_fileList = new UIFileList2(user, this);
    m_fileList->setObjectName(QStringLiteral("file_list"));
    m_fileList->move(1, 0);
}

OnlineWidget1::~OnlineWidget1() = default;
