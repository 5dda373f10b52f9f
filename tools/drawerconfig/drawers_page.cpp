// The Drawers page: the configured cash drawers with the registry views
// that hold them, and adding, changing and removing them.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "device_config.h"
#include "device_edit.h"
#include "drawer_dialog.h"
#include "pages.h"
#include "resource_ids.h"
#include "ui_text.h"

namespace drawerconfig {
namespace {

struct Column {
  UINT title;
  int width;  // dialog units: the page's font and the screen's dpi scale them alike
};
constexpr Column kColumns[] = {
    {IDS_COL_NAME, 86}, {IDS_COL_VIEWS, 58}, {IDS_COL_PORT, 86},
    {IDS_COL_PIN, 36},  {IDS_COL_SENSOR, 60},
};

HWND List(HWND page) { return GetDlgItem(page, IDC_DRAWER_LIST); }

void AddColumns(HWND page) {
  HWND list = List(page);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  int i = 0;
  for (const Column& c : kColumns) {
    std::wstring title = LoadText(c.title);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = title.data();
    RECT r{0, 0, c.width, 0};
    MapDialogRect(page, &r);
    col.cx = r.right;
    SendMessageW(list, LVM_INSERTCOLUMNW, i++, reinterpret_cast<LPARAM>(&col));
  }
}

void AddRow(HWND list, const std::vector<std::wstring>& cells) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = ListView_GetItemCount(list);
  item.pszText = const_cast<wchar_t*>(cells[0].c_str());
  auto row = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  for (size_t c = 1; c < cells.size(); ++c) {
    LVITEMW cell{};
    cell.iSubItem = static_cast<int>(c);
    cell.pszText = const_cast<wchar_t*>(cells[c].c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
  }
}

std::vector<std::wstring> Cells(const std::string& name, const std::wstring& views,
                                const drawerctl::DeviceSettings& d) {
  using drawerctl::SettingText;
  return {Widen(name), views, d.port.empty() ? LoadText(IDS_MISSING) : Widen(d.port),
          Widen(SettingText(d.pinSingle, d.pinSingleWrongType, drawerctl::PinWord)),
          Widen(drawerctl::SensorText(d))};
}

// Copies that disagree get a row each, as drawerctl list shows them: a till
// reads only the copy of its own bitness.
void Fill(HWND page) {
  HWND list = List(page);
  ListView_DeleteAllItems(list);
  std::vector<drawerctl::ConfiguredDevice> devices;
  if (LONG rc = drawerctl::ListDevices(devices); rc != ERROR_SUCCESS) {
    SetControlText(page, IDC_DRAWERS_STATUS,
                   LoadText(IDS_CANNOT_LIST, {Widen(drawerctl::RegistryError(rc))}));
    return;
  }
  for (const auto& d : devices) {
    if (!d.Differs()) {
      AddRow(list, Cells(d.name, Widen(drawerctl::ViewsText(d)), d.views.front().settings));
      continue;
    }
    for (const auto& v : d.views)
      AddRow(list, Cells(d.name, LoadText(IDS_DIFFERS, {Widen(v.view.word)}), v.settings));
  }
  if (devices.empty()) SetControlText(page, IDC_DRAWERS_STATUS, LoadText(IDS_NONE_CONFIGURED));
  if (ListView_GetItemCount(list) > 0)
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

std::wstring SelectedName(HWND page) {
  HWND list = List(page);
  int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (row < 0) return {};
  wchar_t name[256] = L"";
  LVITEMW cell{};
  cell.pszText = name;
  cell.cchTextMax = 256;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
  return name;
}

// The selected drawer's name; empty, with a word on the page, when none is.
std::wstring PickedName(HWND page) {
  std::wstring name = SelectedName(page);
  if (name.empty()) SetControlText(page, IDC_DRAWERS_STATUS, LoadText(IDS_PICK_DRAWER));
  return name;
}

void RunAndRefresh(HWND page, drawerctl::DrawerEntry& entry, bool editing) {
  std::wstring done;
  if (!RunDrawerDialog(page, entry, editing, done)) return;
  Fill(page);
  SetControlText(page, IDC_DRAWERS_STATUS, done);
}

void Add(HWND page) {
  drawerctl::DrawerEntry entry;
  RunAndRefresh(page, entry, false);
}

void Edit(HWND page) {
  std::wstring name = PickedName(page);
  if (name.empty()) return;
  drawerctl::DrawerEntry entry;
  entry.name = Narrow(name);
  drawerctl::DeviceSettings now;
  if (drawerctl::ReadDevice(entry.name, now) == ERROR_SUCCESS) {
    entry.port = now.port;
    if (now.pinSingle) entry.pin = std::string(drawerctl::PinWord(*now.pinSingle));
    if (std::string word = drawerctl::SensorEntryWord(now); !word.empty()) entry.sensor = word;
  }
  RunAndRefresh(page, entry, true);
}

void Remove(HWND page) {
  std::wstring name = PickedName(page);
  if (name.empty()) return;
  std::wstring ask = LoadText(IDS_REMOVE_ASK, {name});
  if (MessageBoxW(page, ask.c_str(), LoadText(IDS_TITLE).c_str(),
                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return;
  drawerctl::EditResult r = drawerctl::RemoveDrawer(Narrow(name));
  Fill(page);
  SetControlText(page, IDC_DRAWERS_STATUS, Widen(r.message));
}

}  // namespace

INT_PTR CALLBACK DrawersPageProc(HWND page, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG:
      AddColumns(page);
      Fill(page);
      return FALSE;
    case kPageShown: Fill(page); return TRUE;
    case WM_NOTIFY: {
      auto* n = reinterpret_cast<NMHDR*>(l);
      if (n->idFrom == IDC_DRAWER_LIST && n->code == NM_DBLCLK) Edit(page);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(w)) {
        case IDOK:  // Enter: the selected drawer, or a new one when there is none
          SelectedName(page).empty() ? Add(page) : Edit(page);
          return TRUE;
        case IDC_ADD: Add(page); return TRUE;
        case IDC_EDIT: Edit(page); return TRUE;
        case IDC_REMOVE: Remove(page); return TRUE;
        case IDC_REFRESH: Fill(page); return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace drawerconfig
