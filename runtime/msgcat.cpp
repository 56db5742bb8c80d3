// The built-in Spanish message catalog, Windows-1252, non-ASCII bytes as escapes. Each block
// holds entries of four digits, a blank and the text, separated by tabs.
#include "runtime/msgcat.h"

namespace vx::rt {

namespace {

constexpr char BLOCK_1[] =
    "0001 Error al inicializar la Memoria\t"
    "0002 Error al efectuar la inicializacion\t"
    "0003 Errores de Memoria detectados\t"
    "0004 Fichero no encontrado:%s\t"
    "0005 Proceso Completado Satisfactoriamente\t"
    "0006 Cancelado por el Usuario\t"
    "0007 Datos no Encontrados\t"
    "0008 Precauci\xF3n \t"
    "0009 Error \t"
    "0010 No definido\t"
    "0011 Ss,Nn\t"
    "0012 Mensaje Informativo\t"
    "0013 Alerta de Mensaje Fatal\t"
    "0014 Solicitud de Informaci\xF3n\t"
    "0015 Permiso denegado\t"
    "0016 Proceso en progreso.....\t"
    "0017 Parametros incorrectos para campo de pantalla%s\r\n (%s)\t"
    "0018 Posible perdida de datos. Por favor confirmar\t"
    "0019 ,.'0123456789,-D',' NS','  ,NO,SI'\t"
    "0020 Cancelar\t"
    "0021 Error de conexi\xF3n SQL\t"
    "0022 Mantenimiento de Ficheros,Captura de Datos\t"
    "0023 Clave no encontrada,Fin de fichero,,,Clave incorrecta,Clave Repetida,"
        "Datos Cambiados. Grabaci\xF3n canceleda,Datos Cambiados. Confirmar,Contrase\xF1" "as "
        "no coinciden\t"
    "0024 Modificaci\xF3n de Clave descartada\t"
    "0025 \xBF" "Anular Registro(s)?\t"
    "0026 Visualizar,Insertar,Eliminar,Buscar\t"
    "0027 Datos Cabecera,Tipo de Documento,Busqueda [AvPag/RePag],Edicion "
        "[AvPag/RePag],Edicion de lineas,Edicion de res\xFAmen,Datos grabados,Nueva "
        "alta,Modificaci\xF3n,Modo Inserci\xF3n,Modo Mantenimiento,Impresi\xF3n Desact.,"
        "Impresi\xF3n Activada,Solo Consulta\t"
    "0028 Nuevo,Inic.,Ant.,Sig.,Ult.,Buscar,Grabar,Borrar\t"
    "0029 Cancelar,Buscar,Grabar,Insertar,Anular Lin.,Importar,Anular Doc.,Modo "
        "Impr.\t"
    "0030 Cancelar,PgAnt.,PgSig.,Grabar,Insertar,Anular,Importar,Modo\t"
    "0031 Proceso no definido\t"
    "0032 Aun hay ventanas abiertas (%i Pantallas, %i Ventanas)\t"
    "0033 Recuerde sus Copias de Seguridad\n\r\xBF" "Desea Cerrar la aplicacion? (%i "
        "Pantallas, %i Ventanas)\t"
    "0034 Selecci\xF3n de Aplicaci\xF3n\t"
    "0035 Debe efectuar una configuraci\xF3n en la carpeta por defecto.\r\nConsulte "
        "la documentaci\xF3n\t"
    "0036 %s (Aplicaci\xF3n desconocida)\t"
    "0037 Solo disponible en Busqueda\t"
    "0038 Solo disponible en Modo Mantenimiento,Para a\xF1" "adir datos es "
        "recomendable usar el mode de Inserci\xF3n\t"
    "0039 \xBF" "Continuar?";

constexpr char BLOCK_2[] =
    "0040 \xBF" "Desea ver Incidencias?\t"
    "0041 Pagina Html no definida\t"
    "0042 Error en Html Parser/Nav\t"
    "0043 Html environ initialization Error\t"
    "0044 DefParms File Load Error\t"
    "0045 Parsing page Error\t"
    "0046 Control Command Error\t"
    "0047 Form Log failure\t"
    "0048 Query Params Error\t"
    "0049 Escoja Selecci\xF3n\t"
    "0050 Sobreescribir?\t"
    "0051 Confirmaci\xF3n de Transacci\xF3n\t"
    "0052 No se ha definido ning\xFAn modo de Transacci\xF3n\t"
    "0053 No se ha definido ninguna tabla de Transacci\xF3n\t"
    "0054 tabla SQL externa no definida\t"
    "0055 Datos de Transacci\xF3n necesarios\t"
    "0056 'Nombre del Archivo:':'A40'\t"
    "0057 L\xEDmites de Transacci\xF3n\t"
    "0058 Ventana de Importaci\xF3n\t"
    "0059 Eliminando %s en %s,Actualizando %s en %s\t"
    "0060 Todos (%s),%s\t"
    "0061 Ficheros de Estructura (%s),%s\t"
    "0062 Ficheros de Pantalla (%s),%s\t"
    "0063 Ficheros de Plantilla de Impresi\xF3n (%s),%s\t"
    "0064 Ficheros de Procedimientos (%s),%s\t"
    "0065 Ficheros de Selecci\xF3n de Aplicaci\xF3n (%s),%s\t"
    "0066 Ficheros de Men\xFA (%s),%s\t"
    "0067 Ficheros PDF (%s),%s\t"
    "0068 Ficheros de Texto (%s),%s\t"
    "0070 Ayuda\t"
    "0071 P\xE1ginas de Ayuda\t"
    "0072 Pagina de Ayuda no definida\t"
    "0073 Ventana Desconocida %s\t"
    "0074 Variables y Funciones\t"
    "0075 Acerca de\t"
    "0077 AvPag/RePag Disp.\t"
    "0080 (Mayor que),(Menor que), (Igual a),(Desde),(Hasta),(Distinto de)\t"
    "0081 Captura de Limites de Informe\t"
    "0082 Selecci\xF3n de Dispositivo\t"
    "0083 Vel.:,Paridad:,Lineas:,Ancho:,Paso:,Mostrar\t"
    "0084 No se ha seleccionado nada\t"
    "0085 Selecci\xF3n de Tabla\t"
    "0086 Selecci\xF3n de Campos de Limites\t"
    "0087 Actualizacion Relacional\t"
    "0088 Selecci\xF3n de Fichero";

constexpr char BLOCK_3[] =
    "0089 Relativa,Secuencial,Delimitada,Listado\t"
    "0090 Acceso a Datos\t"
    "0091 'Servidor:':'A30'::%s,'Base:':'A30'::%s,'Usuario:':'A30'::%s,"
        "'Contrase\xF1" "a:':'P30'::%s,'Recordar (S/N):':'L1'\t"
    "0092 'Servidor:':'A30'::%s,'Base:':'A30','Usuario:':'A30'::'postgres',"
        "'Contrase\xF1" "a:':'P30'\t"
    "0093 'Servidor:':'A30'::%s,'Usuario:':'A30'::'postgres','Contrase\xF1" "a:':'P30'\t"
    "0094 'Tipo de Actualizaci\xF3n Relacional:':'N1'\t"
    "0095 'Fichero:':'A255'::'%s','Modo a\xF1" "adir:':'L1'::'1'\t"
    "0096 Selecci\xF3n de Campos\t"
    "0097 \xBFSalvar esta Configuraci\xF3n?\t"
    "0098 Selecci\xF3n de Transacci\xF3n\t"
    "0099 Expresion de Actualizaci\xF3n\t"
    "0100 'Expresion de Actualizaci\xF3n:':'A256'\t"
    "0101 Contados %s registros en %s\t"
    "0110 'Informes','\tCrear Nuevo,[$]','\tInformes,[$]%APNAME%report.ppn'\t"
    "0111 'Transacciones','\tExportaciones','\t\tRelativa,[$]4','\t\tSecuencial,"
        "[$]20','\t\tDelimitada,[$]52','\t\tListado,[$]16404','\tImportaciones',"
        "'\t\tRelativa,[$]5','\t\tSecuencial,[$]21','\t\tDelimitada,[$]53','\tInternas',"
        "'\t\tContador,[$]128','\t\tActualizacion,[$]1','\t\tActualizacion Relacional,"
        "[$]3','\t\tDesactualizacion Relacional,[$]11','\t\tAnulacion,[$]8',"
        "'\tPredefinidas,[$]0'\t"
    "0112 Un Programa Externo ha terminado con un error %s\t"
    "0113 'Titulo del Documento:':'A40','Multilinea:':'L1','Evitar en "
        "menu:':'L1'\t"
    "0114 Selection de Informe\t"
    "0115 Ultima sesion interrumpida. Recuperacion de datos\t"
    "0116 'Nueva Aplicacion:':'A20'\t"
    "0117 'Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,"
        "Noviembre,Diciembre','[D] de [M] de [Y]'\t"
    "0118 'Carpeta Servidor SQL:':'A50'::'%s','Carpeta LAN:':'A50'::'%s'\t"
    "0119 'Reorganizacion,Reorg'\t"
    "0120 'Ayuda','\tAyuda,Help','\tAcerca de,Help About'\t"
    "0121 Solo se realiz\xF3 la copia del Servidor\t"
    "0130 Salir,Imprimir,Grabar";

constexpr char BLOCK_4[] =
    "1001 Configuraci\xF3n de Estadistica Grafica\t"
    "1002 'Expresion de grupo (X-Axis):':'A255','Expresion Valor "
        "(Y-Axis):':'A255','Expresion Inicial (Reset):':'A255','Condicion de "
        "busqueda:':'A255','Variable de almacenamiento:':'A255'\t"
    "1003 'Titulos a combinar:':'A255'\t"
    "1004 Configuracion Informe\t"
    "1005 'Expresion de grupo (Line):':'A255','Expresion Valor:':'A255',"
        "'Expresion Inicial (Reset):':'A255','Condicion de busqueda:':'A255',"
        "'Variable de almacenamiento:':'A255'";

template <std::size_t N>
constexpr Str block(const char (&text)[N]) {
    static_assert(N - 1 <= MAX_STR, "a block is one string");
    return Str{text, u16(N - 1)};
}

constexpr Str BLOCKS[MSGCAT_BLOCKS] = {block(BLOCK_1), block(BLOCK_2), block(BLOCK_3),
                                       block(BLOCK_4)};

}  // namespace

Str msgcat_block(u16 index) { return index < MSGCAT_BLOCKS ? BLOCKS[index] : str_empty(); }

}  // namespace vx::rt
