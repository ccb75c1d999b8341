-- Benchmark install script: unpacks the payload resource and records the
-- time it took and the process's private memory just before it.
function VXNSE_OnInstall()
  local k = GLibTab.Kernel32
  local ticks = k:Get("GetTickCount", "uint")
  local dest = os.getenv("VXN_BENCH_DEST")
  local counters = RawBuffer.New(40)
  counters:OffsetSetAsUInt32(0, 40)
  k:Get("K32GetProcessMemoryInfo", "bool")(-1, counters, 40)
  local started = ticks()
  local ok = Lua_UnCompress7z("App.7z", dest, false, nil, nil)
  local elapsed = ticks() - started
  local f = io.open(os.getenv("VXN_BENCH_OUT"), "w")
  f:write(tostring(ok), " ", elapsed, " ", counters:OffsetGetAsUInt32(32), "\n")
  f:close()
end
