01001Informe de prueba
01040Pg.\  \ FN$TRIM(_DEVPAG)
03001\        \|###,###.##|0000|\  \ 'Texto',1234.5,7,'abcdef'
05003Relativa \    \ 'dos'
00001N>0	Condicional cierta
00001N<0	Condicional falsa
00005N>0	\    \|##.## 'cond',N
08001Decimales|#####,.##|#####,.0 '',3.14159,2.5
09001Vacia \   \|## ,
