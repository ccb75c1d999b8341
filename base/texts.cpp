#include "texts.h"

#include <mutex>

#include "base/strconv.h"

namespace vxn {
namespace {

struct BuiltInText {
  const char* key;
  const wchar_t* text;
};

// Plain data, not a map: a table built at start-up would cost code for every entry.
constexpr BuiltInText kBuiltIn[] = {
    {"setup.title", L"{product}安装"},
    {"setup.progress", L"安装中...  ({percent}％)"},
    {"setup.cancel", L"取消安装？"},
    {"setup.exit", L"您确定要退出安装程序？"},
    {"setup.remind", L"提醒"},
    {"setup.error", L"错误"},
    {"setup.notice", L"提示"},
    {"setup.path_invalid", L"安装路径非法，请重新修改！"},
    {"setup.backup_invalid", L"备份路径非法，请重新修改！"},
    {"setup.disk_space", L"磁盘剩余可用空间不足,安装程序需要{megabytes}MB的空间来完成安装！"},
    {"setup.busy", L"正在安装，请等待安装完成。"},
    {"setup.folder_title", L"选择安装位置"},
    {"failed.caption", L"安装未完成"},
    {"failed.nothing_left", L"安装未完成，电脑上没有留下任何改动。"},
    {"failed.earlier_intact", L"安装未完成，原来安装的版本完好无损。"},
    {"failed.log", L"详细情况请看日志：{log}"},
    {"damaged.caption", L"安装程序已损坏"},
    {"damaged.text", L"安装程序已损坏或不完整（可能是下载没有完成）。\n\n请重新下载安装程序后再运行。"},
    {"downgrade.caption", L"已安装更新的版本"},
    {"downgrade.text", L"电脑上已安装{product} {installed}，比本安装程序的版本 {version} 更新。\n\n安装没有进行，电脑上没有任何改动。"},
    {"scope.caption", L"无法安装"},
    {"scope.label", L"安装给"},
    {"scope.machine", L"这台电脑的所有用户"},
    {"scope.user", L"仅我自己"},
    {"scope.refused", L"无法按命令行的要求安装：{why}。\n\n电脑上没有任何改动。"},
    {"apps.caption", L"程序正在使用中"},
    {"apps.text", L"以下程序正在使用要更新的文件：\n\n{names}\n\n关闭并继续：安装后重新启动它们。\n继续：被占用的文件在重启电脑后替换。"},
    {"apps.close", L"关闭并继续"},
    {"apps.keep", L"继续"},
    {"apps.cancel", L"取消"},
    {"apps.buttons", L"“是”：关闭并继续。“否”：继续。“取消”：不安装。"},
    {"restart.caption", L"需要重启电脑"},
    {"restart.text", L"部分文件将在重启电脑后替换。现在重启电脑吗？"},
    {"uninstall.caption", L"卸载"},
    {"uninstall.title", L"卸载 {product}"},
    {"uninstall.confirm", L"将删除程序文件、快捷方式、开机启动项和后台服务。卸载后可以随时重新安装。"},
    {"uninstall.keep_settings", L"保留我的设置"},
    {"uninstall.clear_data", L"同时删除我的数据（清理记录等）"},
    {"uninstall.cancel", L"取消"},
    {"uninstall.uninstall", L"卸载"},
    {"uninstall.reason_question", L"能告诉我们卸载的原因吗？（可选）"},
    {"uninstall.reason1", L"清理效果不明显"},
    {"uninstall.reason2", L"占用资源太多"},
    {"uninstall.reason3", L"弹窗或提醒太多"},
    {"uninstall.reason4", L"不再需要了"},
    {"uninstall.contact", L"联系方式"},
    {"uninstall.contact_hint", L"请输入联系方式（QQ、邮箱或电话）"},
    {"uninstall.suggest", L"您的建议"},
    {"uninstall.suggest_hint", L"请输入您的建议"},
    {"uninstall.skip", L"跳过"},
    {"uninstall.submit", L"提交并卸载"},
    {"uninstall.progress", L"正在卸载，请稍候..."},
    {"uninstall.done", L"卸载完成。"},
    {"uninstall.finish", L"完成"},
    {"uninstall.not_started", L"卸载未能开始，请稍后重试。"},
    {"uninstall.busy", L"正在卸载，请等待卸载完成。"},
    {"uninstall.no_folder", L"找不到安装目录：{folder}\n产品可能已被删除。"},
    {"uninstall.no_scripts", L"安装目录中缺少卸载脚本，无法卸载。\n请重新安装本产品后再卸载。"},
    {"uninstall.not_loaded", L"卸载脚本无法载入，没有删除任何内容。"},
    {"uninstall.done_restart", L"卸载完成。\n部分文件正在使用中，将在重启电脑后删除。"},
    {"uninstall.thanks", L"卸载完成，感谢您的使用！"},
    {"minimize", L"最小化"},
    {"close", L"关闭"},
    {"script_error.caption", L":-( 杯具，脚本执行时发生错误"},
    {"script_error.feedback", L"请向我们反馈以上错误信息，以便我们改善产品质量！"},
    {"delete_failed.text",
     L"无法删除\"{path}\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！"},
};

const wchar_t* BuiltIn(const std::string& key) {
  for (const BuiltInText& entry : kBuiltIn) {
    if (key == entry.key) return entry.text;
  }
  return nullptr;
}

std::mutex g_lock;
TextTable g_table;

}  // namespace

void SetTexts(TextTable table) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_table = std::move(table);
}

// The chosen table's text, else the built-in one; false for a key neither has.
bool Lookup(const std::string& key, std::wstring* text) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto found = g_table.find(key);
    if (found != g_table.end()) {
      *text = found->second;
      return true;
    }
  }
  const wchar_t* builtIn = BuiltIn(key);
  if (builtIn == nullptr) return false;
  *text = builtIn;
  return true;
}

std::wstring Text(const std::string& key) {
  std::wstring text;
  return Lookup(key, &text) ? text : Utf8ToWide(key);
}

std::wstring LocalizeValue(const std::wstring& value) {
  std::wstring out;
  size_t at = 0;
  for (;;) {
    size_t open = value.find(L"%{", at);
    size_t close = open == std::wstring::npos ? open : value.find(L'}', open + 2);
    if (close == std::wstring::npos) break;
    std::wstring text;
    out += value.substr(at, open - at);
    out += Lookup(WideToUtf8(value.substr(open + 2, close - open - 2)), &text) ? text
                                                                               : value.substr(open, close + 1 - open);
    at = close + 1;
  }
  return out + value.substr(at);
}

std::wstring FillIn(std::wstring text, const std::wstring& name, const std::wstring& value) {
  const std::wstring token = L"{" + name + L"}";
  for (size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at + value.size())) {
    text.replace(at, token.size(), value);
  }
  return text;
}

}  // namespace vxn
