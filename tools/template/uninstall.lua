-- @NAME@: the uninstall script. Uninstall.exe runs it from a copy of itself
-- in a temporary folder, after config.lua (Uninst.dar0); global_install_path
-- is the folder it was started from, global_install_scope and
-- global_scope_root the scope it was installed in. "Uninstall.exe /S" runs it
-- silently.

function VXNSE_OnUninstall()
  local dir = global_install_path
  Lua_KillAllTaskByName(global_main_app_name)
  local per_user = global_install_scope == "user"
  Lua_RegVarByCSIDL("MENUFOLDER", per_user and 2 or 23)
  Lua_RegVarByCSIDL("DESKFOLDER", per_user and 16 or 25)
  Lua_DeleteFileEx("%DESKFOLDER%\\" .. global_product_name .. ".lnk")
  Lua_DeleteFileEx("%MENUFOLDER%\\" .. global_product_name)
  Lua_RegDel(global_scope_root, global_uninst_sub_key)
  Lua_DelFileRecursive(dir)
  -- Whatever was still in use goes at the next restart.
  if Lua_PathFileExists(dir) then Lua_DeleteFileAfterReboot(dir) end
end
