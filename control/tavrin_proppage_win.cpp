#include "control/tavrin_proppage_win.h"

#include "control/tavrin_ids_win.h"

namespace tavrin {

CTavrinPropPage::CTavrinPropPage()
    : COlePropertyPage(IDD_PROPPAGE_TAVRIN, IDS_TAVRIN_PPG_CAPTION) {}

const CLSID& CTavrinPropPage::GetClassID() const { return kPropPageClsid; }

}  // namespace tavrin
