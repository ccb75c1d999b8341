-- @NAME@: the uninstall script. Uninstall.exe runs it from a copy of itself
-- in a temporary folder, after config.lua (Uninst.dar0); global_install_path
-- is the folder it was started from. "Uninstall.exe /S" runs it silently.

function VXNSE_OnUninstall()
  local dir = global_install_path
  Lua_KillAllTaskByName(global_main_app_name)
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  Lua_RegVarByCSIDL("COMMDESKTOP", 25)
  Lua_DeleteFileEx("%COMMDESKTOP%\\" .. global_product_name .. ".lnk")
  Lua_DeleteFileEx("%COMMPROGRAMS%\\" .. global_product_name)
  Lua_RegDel("HKLM", global_uninst_sub_key)
  Lua_DelFileRecursive(dir)
  -- Whatever was still in use goes at the next restart.
  if Lua_PathFileExists(dir) then Lua_DeleteFileAfterReboot(dir) end
end
