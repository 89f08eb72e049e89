#pragma once
// How the document tells the views and the frame about a change.
#include <string>

class IDocObserver {
public:
    virtual ~IDocObserver() = default;
    // The shown image or its state changed: fetch the active image again and repaint.
    virtual void OnUpdate(void* pSender, long lHint, void* pHint) = 0;
    // The document's title changed.
    virtual void OnTitleChanged(const std::string& title) { (void)title; }
    // The document became busy (a load or a write started) or is done.
    virtual void OnBusyChanged(bool bBusy) { (void)bBusy; }
};
