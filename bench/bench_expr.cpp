// Evaluating a typical field statement list from its text, N times, against
// Lua 5.4 running the same computation (a) loaded from its text each time
// and (b) compiled once and called.
//
// The statement list computes an instalment and adds it, with VAT, to a
// total: the remainder goes to the last instalment.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "core/number.h"
#include "core/string_area.h"
#include "expr/evaluator.h"
#include "expr/functions.h"
#include "expr/variables.h"

namespace {

using namespace tessaly;
using Clock = std::chrono::steady_clock;

constexpr const char* kStatements =
    "C#=IMP#/VNE;R#=CHK#(VNE==VNEX;IMP#-(VNE-1)*C#;C#);T#=T#+R#*(1+IVA#/100)";
constexpr const char* kSetup = "IMP#=1234.56;VNE=3;VNEX=3;IVA#=21;T#=0";

constexpr const char* kLuaChunk =
    "C = IMP / VNE\n"
    "if VNE == VNEX then R = IMP - (VNE - 1) * C else R = C end\n"
    "T = T + R * (1 + IVA / 100)\n";

// CHK# as the built-in functions module has it: the condition, then only
// the chosen value, which must be a number.
Status Check(FunctionCall& call) {
  AreaMark mark;
  if (call.argument_count() < 1) return Status::kSyntaxError;
  Status st = call.Evaluate(1);
  if (st.failed()) return st;
  if (st != kNumberValue) return Status::kTypeMismatch;
  bool yes = NumberOf(Area().Top()) != 0;
  if (yes && call.argument_count() >= 2) {
    st = call.Evaluate(2);
  } else if (!yes && call.argument_count() >= 3) {
    for (int i = 3; i <= call.argument_count(); ++i) {
      st = call.Evaluate(i);
      if (st.failed()) return st;
    }
  } else {
    return mark.KeepNumber(0).ok() ? Status(kNumberValue) : Status(Status::kOutOfMemory);
  }
  if (st.failed()) return st;
  Slice kept = mark.Keep(Area().Top());
  if (!kept.ok()) return kept.status();
  return st == kNumberValue ? Status(kNumberValue) : Status(Status::kTypeWarning);
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs `body` in rounds of `batch` until at least `min_seconds` passed; the
// time per call in nanoseconds.
template <typename Body>
double TimePerCall(long batch, double min_seconds, Body body) {
  long calls = 0;
  Clock::time_point start = Clock::now();
  double elapsed = 0;
  do {
    for (long i = 0; i < batch; ++i) body();
    calls += batch;
    elapsed = Seconds(Clock::now() - start);
  } while (elapsed < min_seconds);
  return elapsed * 1e9 / static_cast<double>(calls);
}

void SetLuaGlobals(lua_State* L) {
  lua_pushnumber(L, 1234.56);
  lua_setglobal(L, "IMP");
  lua_pushinteger(L, 3);
  lua_setglobal(L, "VNE");
  lua_pushinteger(L, 3);
  lua_setglobal(L, "VNEX");
  lua_pushnumber(L, 21);
  lua_setglobal(L, "IVA");
  lua_pushnumber(L, 0);
  lua_setglobal(L, "T");
}

double LuaTotal(lua_State* L) {
  lua_getglobal(L, "T");
  double t = lua_tonumber(L, -1);
  lua_pop(L, 1);
  return t;
}

}  // namespace

int main() {
  ResizeArea(StringArea::kRuntimeSlotLimit);
  InitVariables();
  if (SetFunctionHandler(FunctionCode("CHK#"), &Check) != Status::kOk) return 1;

  // Ours: the text evaluated each time, as a field's statements are.
  {
    AreaMark mark;
    if (Evaluate(kSetup).failed()) return 1;
  }
  Slice text(kStatements);
  int depth = Area().Mark();
  long failures = 0;
  auto ours = [&] {
    if (Evaluate(text).failed()) ++failures;
    Area().Release(depth);
  };
  for (int i = 0; i < 1000; ++i) ours();
  double ours_ns = TimePerCall(100000, 1.0, ours);
  if (failures != 0) {
    std::printf("evaluation failed\n");
    return 1;
  }

  // Lua (a): loaded from its text and run each time.
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  SetLuaGlobals(L);
  size_t chunk_size = std::char_traits<char>::length(kLuaChunk);
  long lua_failures = 0;
  auto lua_load = [&] {
    if (luaL_loadbuffer(L, kLuaChunk, chunk_size, "field") != LUA_OK ||
        lua_pcall(L, 0, 0, 0) != LUA_OK) {
      ++lua_failures;
      lua_settop(L, 0);
    }
  };
  for (int i = 0; i < 1000; ++i) lua_load();
  double load_ns = TimePerCall(20000, 1.0, lua_load);

  // Lua (b): compiled once, called each time.
  if (luaL_loadbuffer(L, kLuaChunk, chunk_size, "field") != LUA_OK) return 1;
  int compiled = luaL_ref(L, LUA_REGISTRYINDEX);
  auto lua_compiled = [&] {
    lua_rawgeti(L, LUA_REGISTRYINDEX, compiled);
    if (lua_pcall(L, 0, 0, 0) != LUA_OK) {
      ++lua_failures;
      lua_settop(L, 0);
    }
  };
  for (int i = 0; i < 1000; ++i) lua_compiled();
  double call_ns = TimePerCall(200000, 1.0, lua_compiled);
  if (lua_failures != 0) {
    std::printf("Lua failed\n");
    return 1;
  }

  // The two computations agree: one run from the same start.
  {
    AreaMark mark;
    (void)Evaluate("T#=0");
  }
  {
    AreaMark mark;
    (void)Evaluate(text);
  }
  SetLuaGlobals(L);
  lua_rawgeti(L, LUA_REGISTRYINDEX, compiled);
  (void)lua_pcall(L, 0, 0, 0);
  AreaMark mark;
  Slice ours_total = EvaluateToText("T#");
  std::printf("statements  %s\n", kStatements);
  std::printf("one run     ours T#=%s   Lua T=%.4f\n", ours_total.str().c_str(), LuaTotal(L));
  std::printf("ours                      %12.0f evaluations/s  (%7.1f ns)\n", 1e9 / ours_ns,
              ours_ns);
  std::printf("Lua load-and-run          %12.0f runs/s         (%7.1f ns)\n", 1e9 / load_ns,
              load_ns);
  std::printf("Lua compiled once         %12.0f calls/s        (%7.1f ns)\n", 1e9 / call_ns,
              call_ns);
  std::printf("time ratio ours / Lua load-and-run  %5.2f  (goal at most 1.0)\n", ours_ns / load_ns);
  std::printf("time ratio ours / Lua compiled      %5.2f  (goal at most 3.0)\n", ours_ns / call_ns);
  lua_close(L);
  return 0;
}
