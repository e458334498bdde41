#include "CatalogriumDoc.h"

#include "engine/Clock.h"

CCatalogriumDoc::CCatalogriumDoc(IPrompter& prompter, IProgressNote& progress)
    : m_prompter(prompter), m_progress(progress), m_clock(CurrentTime) {}

void CCatalogriumDoc::DeleteContents() {
    m_entryList.clear();
}
