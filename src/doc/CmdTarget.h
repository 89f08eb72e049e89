#pragma once
// Commands by id, in the framework's manner: each command target says which
// commands it handles and which update handler decides their state; a chain
// of targets (view, document, frame, application) routes them.
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// The state an update handler gives a command's menu item and button.
class CCmdUI {
public:
    explicit CCmdUI(unsigned nID)
        : m_nID(nID)
    {
    }
    void Enable(bool bOn = true)
    {
        m_bEnabled = bOn;
        m_bEnableChanged = true;
    }
    void SetCheck(int nCheck = 1) { m_nCheck = nCheck; }
    void SetText(const std::string& text)
    {
        m_strText = text;
        m_bTextChanged = true;
    }

    unsigned m_nID;
    bool m_bEnabled = true;
    bool m_bEnableChanged = false;
    int m_nCheck = 0;
    std::string m_strText;
    bool m_bTextChanged = false;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs the command when this target handles it; true when it did.
    virtual bool OnCmdMsg(unsigned nID);
    // Lets this target set the command's state; true when it handles the command.
    virtual bool OnCmdUIMsg(CCmdUI* pCmdUI);

protected:
    using Handler = std::function<void()>;
    using UpdateHandler = std::function<void(CCmdUI*)>;
    // One entry of the target's command map. A command without an update
    // handler is enabled whenever a target handles it.
    void MapCommand(unsigned nID, Handler handler, UpdateHandler update = {});
    // A command that only has an update handler here (the handler lives elsewhere).
    void MapUpdate(unsigned nID, UpdateHandler update);

private:
    struct Entry {
        unsigned nID;
        Handler handler;
        UpdateHandler update;
    };
    const Entry* Find(unsigned nID) const;
    std::vector<Entry> m_commandMap;
};

// Sends a command along the chain; the first target that handles it runs it.
// Null targets are passed over. False when no target handles the command.
bool RouteCommand(std::initializer_list<CCmdTarget*> chain, unsigned nID);
// Asks the chain for a command's state. A command that no target handles is disabled.
void RouteCommandUI(std::initializer_list<CCmdTarget*> chain, CCmdUI* pCmdUI);
