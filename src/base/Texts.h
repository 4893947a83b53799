#pragma once

// Fixed texts of the application shell, shared by the windows and the batch front end.
namespace tz::base::texts {

inline constexpr const char* kTitulo = "transZanderXEL";  // application title, box caption
inline constexpr const char* kConfirmacion = "Confirmación";
inline constexpr const char* kAceptar = "Aceptar";
inline constexpr const char* kSi = "&Si";
inline constexpr const char* kNo = "&No";
inline constexpr const char* kCaption = "Exportar e importar datos entre Zandrix y XEL";
inline constexpr const char* kNoExisteCarpeta = "No existe la carpeta";
inline constexpr const char* kProcesoFinalizado = "Proceso finalizado";
inline constexpr const char* kProcesoNoFinalizado =
    "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente";
inline constexpr const char* kHelpFile = "XEL.CHM";
inline constexpr const char* kRunStatusFile = "Zandrix.ini";
inline constexpr const char* kRunStatusSection = "Transformadores";
inline constexpr const char* kRunStatusKey = "Transformado";

}  // namespace tz::base::texts
