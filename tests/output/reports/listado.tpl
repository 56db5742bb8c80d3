01001Ventas|Pg.|### '','',_DEVPAG
03001Zona Periodo      Importe
04001---- ------- ------------
05001\  \|\      \|####,###.## zona{ventas},periodo{ventas},importe{ventas} /TOTALBASE%=1
06001             ------------ ''
07001Total        |####,###.## '',_#(3)
