01001Ventas agrupadas por zona
03003Zona \  \ zona{ventas} /BREAK$=
04005\      \|####,###.## periodo{ventas},importe{ventas} /TOTALBASE%=1
00005importe{ventas}>=100	  (importe alto)
05005Total zona|####,###.## '',_#(2) /BRKEND$=zona{ventas}<>'[$]' /TOTALBASE%=10
07003Total general|####,###.## '',_#(11)
