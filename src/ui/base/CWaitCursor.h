#pragma once
// Shows the wait cursor for the lifetime of the object, over a whole long
// operation (device search, download, export), on every way out of it.

class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    bool m_bSet = false;
};
