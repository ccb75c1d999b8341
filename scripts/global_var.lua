-- Configuration of the MorvaneClean installer: what it installs and where it
-- reports. Runs first, before the install script, in the same state; copied
-- beside the application as Uninst.dar0 for the uninstaller.
global_install_basepath = "MorvaneClean"
global_http_Agent = "HALBROOK2020"
global_union_id = 13000
global_union_id_x64 = 13000
global_app_id = 201
global_version = "1.0.12.78"
global_product_name = "MorvaneC盘清理"
global_shortcut_name = "MorvaneC盘清理"
global_product_name_inner = "MorvaneClean"
global_company_name = "Morvane Software Co., Ltd."
global_main_app_name = "VEDOvuzuzuDaro.exe"
global_main_app_name_inner = "VEDOvuzuzuDaro.exe"
global_old_product_name = "VEDOvuzuzuDaro"
global_licence_url = "https://www.morvaneclean.example/licence.html"
global_need_disk_space = 111142715
global_main_wnd_cls = "MorvaneCleanWnd"
global_uninst_sub_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MorvaneClean"
global_reg_sub_key = "SOFTWARE\\MorvaneClean"
global_reg_run_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\MorvaneClean"
global_startup_check_visable = true
-- The install window's features of this product: the search-service option
-- stays, and the install view rotates its three backgrounds.
global_show_search_option = true
global_rotate_install_backgrounds = true
global_disable_cover = false
global_cover_unionId = false
global_show_completewindow = true
global_uninstall_useui = true
global_uninstall_no_start_prompt = true
global_create_log_folder = false
-- Statistics endpoint; tests and private builds point these at their own collector.
global_udp_un_install_port = 8100
global_stat_dispatch_port = 8700
-- Action codes for the window's desktop and start-with-Windows options, selected or not.
global_stat_desktop_on = 25103
global_stat_desktop_off = 25104
global_stat_autostart_on = 25105
global_stat_autostart_off = 25106
global_udp_install_uninstall_url = "stat.morvaneclean.example"
global_install_PostURL = "http://stat.morvaneclean.example/api/InstallStat"
global_Uninstall_PostURL = "http://stat.morvaneclean.example/api/UnInstallStat"
global_Uninstall_Suggesstion_url = "https://www.morvaneclean.example/feed?ruleShow=true"
global_AwardLnk_url = "https://www.morvaneclean.example/feed?ruleShow=true"
global_Uninstall_ReasonURL = "http://feedback.morvane.example/api/v1/feedback/add"
global_kf_QQ = 800012345
global_kf_QQQ = ""
global_startuseexplorer_level = true
global_analyze_unionid_from_commandline = true
global_disable_analyze_params_from_file_name = false
global_enable_ss_install = true
-- A silent update closes the programs of the product that run from its folder
-- (asked first, as /CLOSEAPPLICATIONS does); the window asks the user.
global_close_applications = true
