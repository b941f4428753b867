#include "CWaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

CWaitCursor::CWaitCursor()
{
    // Without an application object there is no cursor to change.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        m_bSet = true;
    }
}

CWaitCursor::~CWaitCursor()
{
    if (m_bSet)
        QGuiApplication::restoreOverrideCursor();
}
