#include "LoginLoop.h"

#include "LoginWidget.h"
#include "MainWidget.h"

bool runLoginAndMainWindow(SJob* job)
{
    for (;;) {
        LoginWidget login;
        if (login.start() != 1)
            return false;
        const SUser user = login.user();
        MainWidget window(user, job);
        window.exec();
        if (window.resultCode() != MainWidget::LoggedOut)
            return window.resultCode() == MainWidget::Succeeded;
    }
}
