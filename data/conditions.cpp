#include "data/conditions.h"

#include <string>
#include <string_view>

#include "core/string_area.h"
#include "core/text.h"

namespace tessaly {
namespace {

constexpr char kComparisons[] = "==,>,>=,<,<=,<>";

bool StartsWithTrue(std::string_view c) { return c.substr(0, 3) == "1&&"; }

// The format with each "%s" taken by the next argument ("%%" is one '%');
// formats come from definitions, so nothing here reads printf directives.
std::string FillFormat(std::string_view format, const Slice* args, int count) {
  std::string out;
  int next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 's') {
        if (next < count) out.append(args[next].view());
        ++next;
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

// a, connective and b; an empty side is left out with the connective.
std::string JoinWith(std::string_view a, std::string_view connective, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string out(a);
  out.append(connective);
  out.append(b);
  return out;
}

}  // namespace

Slice BuildCondition(Slice field, int comparison, Slice value, Slice existing, Slice connective,
                     Slice format) {
  for (Slice s : {field, value, existing, connective, format}) {
    if (!s.ok()) return s;
  }
  AreaMark mark;
  std::string_view conn =
      connective.empty() ? std::string_view(kDefaultConnective) : connective.view();
  std::string term;
  if (!value.empty()) {
    if (comparison < kCompareEqual || comparison > kCompareNotEqual) {
      return mark.Keep(Slice::Error(Status::kBadInputData));
    }
    Slice op = Item(Slice(kComparisons), ',', comparison);
    if (format.empty() || format.view() == kDefaultConditionFormat) {
      // The value must stay one quoted operand whatever was typed: a value
      // holding the apostrophe is enclosed in double quotes, one holding
      // both quotes cannot be written safely.
      Slice quoted = Quote(value, '\'');
      if (!quoted.ok()) return mark.Keep(quoted);
      term.append(field.view());
      term.append(op.view());
      term.append(quoted.view());
    } else {
      const Slice args[3] = {field, op, value};
      term = FillFormat(format.view(), args, 3);
    }
  }
  return mark.Keep(Slice::Of(JoinWith(existing.view(), conn, term)));
}

Slice JoinConditions(Slice first, Slice second, Slice connective) {
  for (Slice s : {first, second, connective}) {
    if (!s.ok()) return s;
  }
  AreaMark mark;
  std::string_view a = first.view();
  std::string_view b = second.view();
  if (StartsWithTrue(a)) {
    a.remove_prefix(3);
    b = {};
  }
  if (StartsWithTrue(b)) {
    b.remove_prefix(3);
    a = {};
  }
  if (a.empty()) return mark.Keep(Slice::Of(b));
  if (b.empty()) return mark.Keep(Slice::Of(a));
  std::string out = "(";
  out.append(a);
  out += ')';
  out.append(connective.empty() ? std::string_view(kDefaultConnective) : connective.view());
  out += '(';
  out.append(b);
  out += ')';
  return mark.Keep(Slice::Of(out));
}

Slice ReplaceValueMark(Slice text, Slice value) {
  return ReplaceAll(text, Slice("[$]", 3), value, /*plain=*/true);
}

}  // namespace tessaly
