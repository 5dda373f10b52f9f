// Applies a registration script (the resource type "REGISTRY"): a tree of
// keys under a root, each with an optional default value, named values and
// subkeys, as in
//
//   HKCR
//   {
//     Some.ProgID = s 'Text'
//     {
//       CLSID = s '{...}'
//     }
//     NoRemove CLSID
//     {
//       ForceRemove {...} = s 'Text'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//       }
//     }
//   }
//
// Tokens are separated by white space; names and texts may be quoted with
// single quotes, a quote inside doubled. Only string values ('s') exist.
// Registering first deletes ForceRemove keys with everything below them,
// then creates or overwrites every key and value. Unregistering deletes every
// key not marked NoRemove with everything below it (missing keys are passed
// over, failures ignored) and only descends into NoRemove keys.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace registrar {

struct Replacement {
  std::wstring name;   // the placeholder is %name%
  std::wstring value;  // inserted into a quoted text: its quotes are doubled
};

enum class Action { Register, Unregister };

// rootOverride, when not null, stands in for every root key of the script.
// A script that does not parse changes nothing.
HRESULT RunScript(const std::wstring& script, const std::vector<Replacement>& replacements,
                  Action action, HKEY rootOverride = nullptr);

}  // namespace registrar
