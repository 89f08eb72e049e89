#pragma once
// Probes of a document for tests: whether a command is offered, and how often the views were told.
#include "doc/TavrelDoc.h"

inline bool CommandEnabled(CTavrelDoc& doc, unsigned id)
{
    CCmdUI state(id);
    RouteCommandUI({&doc}, &state);
    return state.m_bEnabled;
}

class CountingObserver : public IDocObserver {
public:
    void OnUpdate(void*, long, void*) override { ++updates; }
    int updates = 0;
};
