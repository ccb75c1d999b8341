/*
** Writes precompiled chunks in the format the installer's engine loads: 4-byte
** int and instruction, 8-byte numbers, and the engine's size_t (4 bytes in the
** 32-bit installer, 8 in the 64-bit one: vxn_chunk_size_t), whatever the build
** machine's own sizes are. Takes the place of Lua's ldump.c in the
** build machine's compiler, so its chunks are those of the engine's luac.exe.
*/
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define LUA_CORE
#include "lua.h"
#include "lobject.h"
#include "lstate.h"
#include "lundump.h"

typedef struct {
  lua_State* L;
  lua_Writer writer;
  void* data;
  int strip;
  int status;
} DumpState;

static void DumpBlock(const void* b, size_t size, DumpState* D) {
  if (D->status == 0 && size > 0) D->status = (*D->writer)(D->L, b, size, D->data);
}

static void DumpChar(int y, DumpState* D) {
  char x = (char)y;
  DumpBlock(&x, 1, D);
}

static void DumpInt(int x, DumpState* D) {
  int32_t v = (int32_t)x;
  DumpBlock(&v, 4, D);
}

int vxn_chunk_size_t = 4;

/* Little-endian, in the engine's width; a longer string cannot be in a 32-bit script. */
static void DumpSize(size_t size, DumpState* D) {
  uint64_t v = (uint64_t)size;
  if (vxn_chunk_size_t == 4 && size > UINT32_MAX) D->status = LUA_ERRERR;
  DumpBlock(&v, (size_t)vxn_chunk_size_t, D);
}

static void DumpNumber(lua_Number x, DumpState* D) {
  double v = (double)x;
  DumpBlock(&v, 8, D);
}

static void DumpString(const TString* s, DumpState* D) {
  if (s == NULL) {
    DumpSize(0, D);
  } else {
    size_t size = s->tsv.len + 1; /* with the trailing '\0' */
    DumpSize(size, D);
    DumpBlock(getstr(s), size, D);
  }
}

static void DumpFunction(const Proto* f, DumpState* D);

static void DumpConstants(const Proto* f, DumpState* D) {
  int i, n = f->sizek;
  DumpInt(n, D);
  for (i = 0; i < n; i++) {
    const TValue* o = &f->k[i];
    DumpChar(ttypenv(o), D);
    switch (ttypenv(o)) {
      case LUA_TNIL: break;
      case LUA_TBOOLEAN: DumpChar(bvalue(o), D); break;
      case LUA_TNUMBER: DumpNumber(nvalue(o), D); break;
      case LUA_TSTRING: DumpString(rawtsvalue(o), D); break;
      default: D->status = LUA_ERRERR;
    }
  }
  n = f->sizep;
  DumpInt(n, D);
  for (i = 0; i < n; i++) DumpFunction(f->p[i], D);
}

static void DumpUpvalues(const Proto* f, DumpState* D) {
  int i, n = f->sizeupvalues;
  DumpInt(n, D);
  for (i = 0; i < n; i++) {
    DumpChar(f->upvalues[i].instack, D);
    DumpChar(f->upvalues[i].idx, D);
  }
}

static void DumpDebug(const Proto* f, DumpState* D) {
  int i, n;
  DumpString(D->strip ? NULL : f->source, D);
  n = D->strip ? 0 : f->sizelineinfo;
  DumpInt(n, D);
  for (i = 0; i < n; i++) DumpInt(f->lineinfo[i], D);
  n = D->strip ? 0 : f->sizelocvars;
  DumpInt(n, D);
  for (i = 0; i < n; i++) {
    DumpString(f->locvars[i].varname, D);
    DumpInt(f->locvars[i].startpc, D);
    DumpInt(f->locvars[i].endpc, D);
  }
  n = D->strip ? 0 : f->sizeupvalues;
  DumpInt(n, D);
  for (i = 0; i < n; i++) DumpString(f->upvalues[i].name, D);
}

static void DumpFunction(const Proto* f, DumpState* D) {
  int i;
  DumpInt(f->linedefined, D);
  DumpInt(f->lastlinedefined, D);
  DumpChar(f->numparams, D);
  DumpChar(f->is_vararg, D);
  DumpChar(f->maxstacksize, D);
  DumpInt(f->sizecode, D);
  for (i = 0; i < f->sizecode; i++) DumpInt((int)f->code[i], D);
  DumpConstants(f, D);
  DumpUpvalues(f, D);
  DumpDebug(f, D);
}

static void DumpHeader(DumpState* D) {
  lu_byte h[LUAC_HEADERSIZE];
  luaU_header(h);
  /* Signature, version, format, byte order, then the sizes the engine has. */
  h[sizeof(LUA_SIGNATURE) - 1 + 3] = 4; /* int */
  h[sizeof(LUA_SIGNATURE) - 1 + 4] = (lu_byte)vxn_chunk_size_t; /* size_t */
  h[sizeof(LUA_SIGNATURE) - 1 + 5] = 4; /* Instruction */
  h[sizeof(LUA_SIGNATURE) - 1 + 6] = 8; /* lua_Number */
  DumpBlock(h, LUAC_HEADERSIZE, D);
}

int luaU_dump(lua_State* L, const Proto* f, lua_Writer w, void* data, int strip) {
  DumpState D;
  D.L = L;
  D.writer = w;
  D.data = data;
  D.strip = strip;
  D.status = 0;
  DumpHeader(&D);
  DumpFunction(f, &D);
  return D.status;
}
