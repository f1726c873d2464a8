// Meeting rooms reach the main window here.
#include "main/Tmfrm.h"
#include "meetings/TfrmCRM.h"

void Tmfrm::ProcMRM(const FieldList &) {}
void Tmfrm::ProcMRJ(const FieldList &) {}
void Tmfrm::ProcMRD(const FieldList &) {}

// "会議室の作成": a new room, gathered from the tree.
void Tmfrm::N10Click()
{
    (new TfrmCRM(this, ftree, *this, "0"))->show();
}
