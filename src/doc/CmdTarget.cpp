#include "doc/CmdTarget.h"

bool CCmdTarget::OnCmdMsg(unsigned nID)
{
    const Entry* entry = Find(nID);
    if (!entry || !entry->handler)
        return false;
    entry->handler();
    return true;
}

bool CCmdTarget::OnCmdUIMsg(CCmdUI* pCmdUI)
{
    const Entry* entry = Find(pCmdUI->m_nID);
    if (!entry)
        return false;
    if (entry->update)
        entry->update(pCmdUI);
    else
        pCmdUI->Enable(true);
    return true;
}

void CCmdTarget::MapCommand(unsigned nID, Handler handler, UpdateHandler update)
{
    m_commandMap.push_back({nID, std::move(handler), std::move(update)});
}

void CCmdTarget::MapUpdate(unsigned nID, UpdateHandler update)
{
    m_commandMap.push_back({nID, {}, std::move(update)});
}

const CCmdTarget::Entry* CCmdTarget::Find(unsigned nID) const
{
    for (const Entry& entry : m_commandMap) {
        if (entry.nID == nID)
            return &entry;
    }
    return nullptr;
}

bool RouteCommand(std::initializer_list<CCmdTarget*> chain, unsigned nID)
{
    for (CCmdTarget* target : chain) {
        if (target && target->OnCmdMsg(nID))
            return true;
    }
    return false;
}

void RouteCommandUI(std::initializer_list<CCmdTarget*> chain, CCmdUI* pCmdUI)
{
    for (CCmdTarget* target : chain) {
        if (target && target->OnCmdUIMsg(pCmdUI))
            return;
    }
    pCmdUI->Enable(false);
}
