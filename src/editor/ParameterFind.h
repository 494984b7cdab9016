#pragma once
// Finding a parameter the way a technician names it: by its code as written on the drive's
// panel or in a manual (P09.15, 09.15, 9.15, p9.15), by its register number (#261), or by part
// of its name (額定電流, 加速). The editor's find box and `velorin-cli catalogue --find` share it.

#include <string_view>
#include <vector>

namespace velorin {

// The registers with a field that `query` names, best first: the parameter whose code it is,
// then those whose code it begins (P09.1 also finds P09.10-P09.19; P09 the whole group), or
// those whose name is it, then holds it in one piece, then holds its characters in order with
// a few others between (額定電流 finds IM1額定線電流), each in register order. Blanks around the
// query do not count; Latin letters match in either case. Empty for an empty query or one that
// names nothing.
std::vector<int> findParameters(std::string_view query);

}  // namespace velorin
