// The reasons of system failures in Spanish, shared by the POSIX and the Windows side: each
// side tells the kind of its own codes (errorKind), the words are given here once.
#include <cerrno>
#include <string>

#include "platform/Error.h"

namespace tz::platform {

ErrorKind errnoKind(int e) {
    switch (e) {
        case ENOSPC:
            return ErrorKind::DiskFull;
#ifdef EDQUOT
        case EDQUOT:
            return ErrorKind::QuotaFull;
#endif
        case EACCES:
        case EPERM:
            return ErrorKind::AccessDenied;
        case ENOENT:
            return ErrorKind::NotFound;
        case ENOTDIR:
            return ErrorKind::NotAFolder;
        case EISDIR:
            return ErrorKind::IsAFolder;
        case EROFS:
            return ErrorKind::ReadOnly;
        case EMFILE:
        case ENFILE:
            return ErrorKind::TooManyOpenFiles;
        case EIO:
            return ErrorKind::Io;
        case EBUSY:
#ifdef ETXTBSY
        case ETXTBSY:
#endif
            return ErrorKind::InUse;
        case EAGAIN:
#if defined(EWOULDBLOCK) && EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return ErrorKind::Locked;
        case EEXIST:
            return ErrorKind::AlreadyExists;
        case ENAMETOOLONG:
            return ErrorKind::NameTooLong;
        case EFBIG:
            return ErrorKind::TooLarge;
        case ENOMEM:
            return ErrorKind::OutOfMemory;
        case EINVAL:
            return ErrorKind::Invalid;
        default:
            return ErrorKind::Other;
    }
}

std::string errorText(const Error& e) {
    switch (errorKind(e)) {
        case ErrorKind::DiskFull:
            return "no queda espacio en el disco";
        case ErrorKind::QuotaFull:
            return "se ha llenado la cuota de disco del usuario";
        case ErrorKind::AccessDenied:
            return "permiso denegado";
        case ErrorKind::NotFound:
            return "no existe el archivo o la carpeta";
        case ErrorKind::NotAFolder:
            return "una parte de la ruta no es una carpeta";
        case ErrorKind::IsAFolder:
            return "es una carpeta, no un archivo";
        case ErrorKind::ReadOnly:
            return "el disco o la carpeta es de sólo lectura";
        case ErrorKind::TooManyOpenFiles:
            return "hay demasiados archivos abiertos";
        case ErrorKind::Io:
            return "error de entrada/salida en el disco";
        case ErrorKind::InUse:
            return "el archivo está en uso";
        case ErrorKind::Locked:
            return "el archivo está bloqueado por otro programa";
        case ErrorKind::AlreadyExists:
            return "ya existe";
        case ErrorKind::NameTooLong:
            return "el nombre es demasiado largo";
        case ErrorKind::TooLarge:
            return "el archivo es demasiado grande";
        case ErrorKind::OutOfMemory:
            return "no queda memoria";
        case ErrorKind::Invalid:
            return "operación no válida para este archivo";
        case ErrorKind::Other:
            break;
    }
    return "error del sistema " + std::to_string(e.value()) + " (" + systemText(e) + ")";
}

}  // namespace tz::platform
