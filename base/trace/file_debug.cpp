// CFileDebug: placeholder until the sinks land; the trace stays inactive.
#include "base/file_debug.h"

CFileDebug g_FileDebug;
volatile DWORD* const g_pFileDebugActive = &g_FileDebug.m_bActive;

CFileDebug::CFileDebug() = default;
CFileDebug::~CFileDebug() = default;
void CFileDebug::Init(const char*, BOOL) {}
void CFileDebug::ReadConfig() {}
void CFileDebug::Trace(DWORD, const char*, ...) {}
