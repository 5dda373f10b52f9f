#include "drawer_dialog.h"

#include <commctrl.h>

#include <memory>
#include <vector>

#include "common/win32_raii.h"

#include "printer_probe.h"
#include "resource_ids.h"
#include "ui_text.h"

namespace drawerconfig {
namespace {

// Posted by the search thread: lParam a ProbeResult*, or null when done.
constexpr UINT kProbeFound = WM_APP + 40;

struct DialogState {
  drawerctl::DrawerEntry* entry;
  bool editing;
  std::wstring* done;
  std::vector<std::string> foundPorts;  // one per line of the found list
};

DialogState& State(HWND dialog) {
  return *reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

constexpr const char* kPins[] = {"2", "5"};
constexpr const char* kSensors[] = {"high-shut", "high-open", "none"};

void FillChoices(HWND dialog, int id, const char* const* words, size_t count,
                 const std::string& chosen) {
  HWND box = GetDlgItem(dialog, id);
  for (size_t i = 0; i < count; ++i) {
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(words[i]).c_str()));
    if (chosen == words[i]) SendMessageW(box, CB_SETCURSEL, i, 0);
  }
  if (SendMessageW(box, CB_GETCURSEL, 0, 0) == CB_ERR) SendMessageW(box, CB_SETCURSEL, 0, 0);
}

std::string Chosen(HWND dialog, int id, const char* const* words) {
  LRESULT i = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
  return words[i == CB_ERR ? 0 : i];
}

void Init(HWND dialog, DialogState& s) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&s));
  SetWindowTextW(dialog, LoadText(s.editing ? IDS_EDIT_TITLE : IDS_ADD_TITLE).c_str());
  SetControlText(dialog, IDC_NAME, Widen(s.entry->name));
  SendDlgItemMessageW(dialog, IDC_NAME, EM_SETREADONLY, s.editing, 0);
  SetControlText(dialog, IDC_PORT, Widen(s.entry->port));
  FillChoices(dialog, IDC_PIN, kPins, 2, s.entry->pin);
  FillChoices(dialog, IDC_SENSOR, kSensors, 3, s.entry->sensor);
  bool network = s.entry->port.rfind("tcp:", 0) == 0;
  SetControlText(dialog, IDC_TCP_ADDRESS,
                 network ? Widen(s.entry->port) : LoadText(IDS_DEFAULT_TCP));
  SetFocus(GetDlgItem(dialog, s.editing ? IDC_PORT : IDC_NAME));
}

struct SearchJob {
  HWND dialog;
  std::vector<std::string> ports;
};

bool Post(HWND dialog, ProbeResult result) {
  auto* found = new ProbeResult(std::move(result));
  if (PostMessageW(dialog, kProbeFound, 0, reinterpret_cast<LPARAM>(found))) return true;
  delete found;
  return false;  // the dialog is gone
}

DWORD WINAPI Search(void* raw) {
  std::unique_ptr<SearchJob> job(static_cast<SearchJob*>(raw));
  // What Windows lists first: it answers at once, the tries take a while.
  for (ProbeResult& listed : ListedPrinters())
    if (!Post(job->dialog, std::move(listed))) return 0;
  for (const std::string& port : job->ports)
    if (!Post(job->dialog, ProbePort(port))) return 0;
  PostMessageW(job->dialog, kProbeFound, 0, 0);
  return 0;
}

// The probes run off the dialog's thread: a silent network address takes
// its full connect time, and the dialog stays usable meanwhile.
void StartSearch(HWND dialog, DialogState& s) {
  auto* job = new SearchJob{dialog, PresentComPorts()};
  std::wstring address = ControlText(dialog, IDC_TCP_ADDRESS);
  if (!address.empty()) job->ports.push_back(Narrow(address));
  SendDlgItemMessageW(dialog, IDC_FOUND, LB_RESETCONTENT, 0, 0);
  s.foundPorts.clear();
  EnableWindow(GetDlgItem(dialog, IDC_FIND), FALSE);
  SetControlText(dialog, IDC_EDIT_ERROR, LoadText(IDS_FINDING));
  win::UniqueHandle thread(CreateThread(nullptr, 0, Search, job, 0, nullptr));
  if (!thread) {
    delete job;
    EnableWindow(GetDlgItem(dialog, IDC_FIND), TRUE);
  }
}

UINT ProbeTextId(ProbeAnswer a) {
  switch (a) {
    case ProbeAnswer::Answered: return IDS_PROBE_ANSWERED;
    case ProbeAnswer::Silent: return IDS_PROBE_SILENT;
    case ProbeAnswer::BadText: return IDS_PROBE_BAD_TEXT;
    case ProbeAnswer::Listed: return IDS_PROBE_LISTED;
    case ProbeAnswer::Absent: break;
  }
  return IDS_PROBE_ABSENT;
}

void ShowFound(HWND dialog, DialogState& s, const ProbeResult* found) {
  if (found == nullptr) {
    EnableWindow(GetDlgItem(dialog, IDC_FIND), TRUE);
    bool any = SendDlgItemMessageW(dialog, IDC_FOUND, LB_GETCOUNT, 0, 0) > 0;
    SetControlText(dialog, IDC_EDIT_ERROR, any ? LoadText(IDS_FOUND_PICK)
                                               : LoadText(IDS_FOUND_NONE));
    return;
  }
  std::wstring line = LoadText(ProbeTextId(found->answer), {Widen(found->port),
                                                            Widen(found->detail)});
  SendDlgItemMessageW(dialog, IDC_FOUND, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  const bool usable = found->answer != ProbeAnswer::BadText && found->port != "-";
  s.foundPorts.push_back(usable ? found->port : std::string());
}

void TakeFound(HWND dialog, DialogState& s) {
  LRESULT i = SendDlgItemMessageW(dialog, IDC_FOUND, LB_GETCURSEL, 0, 0);
  if (i == LB_ERR || static_cast<size_t>(i) >= s.foundPorts.size()) return;
  if (!s.foundPorts[i].empty()) SetControlText(dialog, IDC_PORT, Widen(s.foundPorts[i]));
}

int FieldOf(drawerctl::EditProblem p) {
  switch (p) {
    case drawerctl::EditProblem::Name:
    case drawerctl::EditProblem::Exists: return IDC_NAME;
    case drawerctl::EditProblem::Port: return IDC_PORT;
    case drawerctl::EditProblem::Pin: return IDC_PIN;
    case drawerctl::EditProblem::Sensor: return IDC_SENSOR;
    default: return IDOK;
  }
}

std::wstring Refusal(const drawerctl::EditResult& r, const drawerctl::DrawerEntry& e) {
  if (r.problem == drawerctl::EditProblem::Port)
    return LoadText(IDS_PORT_REFUSED, {Widen(e.port), Widen(r.message)});
  if (r.problem == drawerctl::EditProblem::Exists)
    return LoadText(IDS_EXISTS, {Widen(r.message)});
  return Widen(r.message);
}

void Save(HWND dialog, DialogState& s) {
  drawerctl::DrawerEntry e;
  e.name = Narrow(ControlText(dialog, IDC_NAME));
  e.port = Narrow(ControlText(dialog, IDC_PORT));
  e.pin = Chosen(dialog, IDC_PIN, kPins);
  e.sensor = Chosen(dialog, IDC_SENSOR, kSensors);
  drawerctl::EditResult r = drawerctl::AddDrawer(e, s.editing);
  if (!r.ok()) {
    SetControlText(dialog, IDC_EDIT_ERROR, Refusal(r, e));
    HWND field = GetDlgItem(dialog, FieldOf(r.problem));
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    return;
  }
  *s.entry = e;
  *s.done = Widen(r.message);
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK DrawerDialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG:
      Init(dialog, *reinterpret_cast<DialogState*>(l));
      return FALSE;  // the focus was set by Init
    case kProbeFound: {
      std::unique_ptr<ProbeResult> found(reinterpret_cast<ProbeResult*>(l));
      ShowFound(dialog, State(dialog), found.get());
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(w)) {
        case IDOK: Save(dialog, State(dialog)); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case IDC_FIND: StartSearch(dialog, State(dialog)); return TRUE;
        case IDC_FOUND:
          if (HIWORD(w) == LBN_SELCHANGE || HIWORD(w) == LBN_DBLCLK) TakeFound(dialog, State(dialog));
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool RunDrawerDialog(HWND owner, drawerctl::DrawerEntry& entry, bool editing,
                     std::wstring& done) {
  DialogState s{&entry, editing, &done, {}};
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_EDIT), owner,
                         DrawerDialogProc, reinterpret_cast<LPARAM>(&s)) == IDOK;
}

}  // namespace drawerconfig
