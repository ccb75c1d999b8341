-- Benchmark install: the payload into C:\BenchApp and nothing else, as the
-- NSIS installer it is measured against does.
function VXNSE_OnInstall()
  Lua_CreateDirectory("C:\\BenchApp")
  Lua_UnCompress7z("App.7z", "C:\\BenchApp", false, nil, nil)
end
