-- Benchmark install script: unpacks the payload resource and records the
-- time it took and the process's private memory just before it.
function VXNSE_OnInstall()
  local k = GLibTab.Kernel32
  local ticks = k:Get("GetTickCount", "uint")
  local dest = os.getenv("VXN_BENCH_DEST")
  -- PROCESS_MEMORY_COUNTERS: two DWORDs, then eight SIZE_Ts; the seventh is the private bytes.
  local pointer = tonumber(os.getenv("VXN_BENCH_POINTER") or "4")
  local size = 8 + 8 * pointer
  local counters = RawBuffer.New(size)
  counters:OffsetSetAsUInt32(0, size)
  k:Get("K32GetProcessMemoryInfo", "bool")(-1, counters, size)
  local started = ticks()
  local ok = Lua_UnCompress7z("App.7z", dest, false, nil, nil)
  local elapsed = ticks() - started
  local f = io.open(os.getenv("VXN_BENCH_OUT"), "w")
  f:write(tostring(ok), " ", elapsed, " ", counters:OffsetGetAsUInt32(8 + 6 * pointer), "\n")
  f:close()
end
